// porute2avi: converts VD02 and VD00 movies into AVI files from the command
// line, through the same batch driver as the window.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "batch/BatchDriver.h"
#include "batch/Messages.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleHost.h"
#include "cli/Interrupts.h"
#include "cli/Probe.h"
#include "avifile/AviFileLimits.h"
#ifdef PORUTE_HAVE_FFMPEG
#include <new>

#include "ffenc/FfmpegMovieEncoder.h"
#include "ffenc/OutputVerifier.h"
extern "C" {
#include <libavutil/log.h>
}
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

int UsageFailure(const std::string& message) {
  std::fprintf(stderr, "porute2avi: %s\nTry 'porute2avi --help' for more information.\n",
               message.c_str());
  return kExitUsage;
}

// "out/" and "out" name one folder; without the trailing slashes the paths in
// the messages read "out/a.avi" instead of "out//a.avi". The root stays "/".
std::string WithoutTrailingSlashes(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

int main(int argc, char* argv[]) {
  CommandLine line = ParseCommandLine(argc, argv);
  switch (line.action) {
    case CommandLine::Action::kUsageError:
      return UsageFailure(line.usageError);
    case CommandLine::Action::kHelp:
      std::fputs(UsageText(), stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitError;
    case CommandLine::Action::kVersion:
      std::printf("porute2avi (%s) %s\n", kProgramName, kProgramVersion);
      return std::fflush(stdout) == 0 ? kExitOk : kExitError;
    case CommandLine::Action::kConvert:
      break;
  }

#ifndef PORUTE_HAVE_FFMPEG
  if (line.format != "avi" || line.verify) {
    return UsageFailure("this porute2avi was built without FFmpeg's libraries: "
                        "it writes AVI files only and cannot --verify");
  }
#endif
  if (line.riffLimit != 0) AviFileSetRiffLimit(line.riffLimit);
  if (line.info) return RunInfo(line.files, line.json, AviFileRiffLimit(), stdout, stderr);
  if (line.check) return RunCheck(line.files, stdout, stderr);

  // A missing output folder would fail only at the first file's output, after
  // the decoder had been opened; tell the user before anything is done.
  if (!line.outputDir.empty()) {
    struct stat info {};
    if (stat(line.outputDir.c_str(), &info) != 0) {
      return UsageFailure("output folder '" + line.outputDir + "' does not exist");
    }
    if (!S_ISDIR(info.st_mode)) {
      return UsageFailure("output folder '" + line.outputDir + "' is not a folder");
    }
  }
  if (line.riffLimit != 0) AviFileSetRiffLimit(line.riffLimit);
  if (line.refreshInterval != 0) AviFileSetRefreshInterval(line.refreshInterval);
  // Past a file size limit a write fails with EFBIG, reported like a full
  // disk, instead of the signal ending the program with the file unfinished.
  signal(SIGXFSZ, SIG_IGN);

  InstallInterruptHandlers();

  ConsoleHost host(line.host, STDIN_FILENO, STDERR_FILENO);
  BatchDriver driver(host);
  host.Attach(&driver);
  driver.FileList = std::move(line.files);
  driver.SaveDir = WithoutTrailingSlashes(line.outputDir);
#ifdef PORUTE_HAVE_FFMPEG
  // The libraries' own chatter stays out of our messages; their errors reach
  // the user through the encoder's failure causes.
  av_log_set_level(AV_LOG_QUIET);
  if (line.format != "avi") {
    const FfmpegFormat format = line.format == "mkv" ? FfmpegFormat::kMkv : FfmpegFormat::kMp4;
    const int crf = line.crf >= 0 ? line.crf : FfmpegMovieEncoder::kDefaultCrf;
    driver.SetEncoderFactory([format, crf] {
      return std::unique_ptr<MovieEncoder>(new (std::nothrow) FfmpegMovieEncoder(format, crf));
    });
  }
  if (line.verify) {
    const bool lossless = line.format != "mp4";
    driver.SetFileDoneHook([&host, lossless](const std::string& input, const std::string& output) {
      const VerifyReport report = VerifyOutput(input, output, lossless);
      host.ShowNote("porute2avi: " + output + ": " +
                    (report.ok ? DescribeVerified(report, lossless)
                               : "verification failed: " + report.problem));
      return report.ok;
    });
  }
#endif

  if (InterruptCount() == 0) driver.BtnStartClick();
  host.Finish();

  if (driver.lastOutcome == BatchDriver::Outcome::kStoppedByError) return kExitError;
  if (host.Interrupted() || driver.lastOutcome == BatchDriver::Outcome::kAborted) {
    return kExitInterrupted;
  }
  return kExitOk;
}
