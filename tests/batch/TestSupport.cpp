#include "tests/batch/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace porute_test {

std::vector<std::string> TemporaryFilesIn(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name[0] == '.' && name.find(".porute-") != std::string::npos &&
        name.compare(name.size() - 4, 4, ".tmp") == 0) {
      found.push_back(entry.path().string());
    }
  }
  return found;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

Started Start(const std::vector<std::string>& argv, const RunOptions& options) {
  Started started;
  // A program may end before it has read the input it was given; writing on
  // to its closed pipe must fail with EPIPE, not kill the test with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  int inPipe[2];
  int outPipe[2];
  int errPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 ||
      pipe2(errPipe, O_CLOEXEC) != 0) {
    return started;
  }
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (options.env.count(key) == 0) envText.push_back(entry);
  }
  for (const auto& [key, value] : options.env) envText.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : envText) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& arg : args) argp.push_back(arg.data());
  argp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(127);
    // Child of a test: the default dispositions, whatever the test set.
    signal(SIGPIPE, SIG_DFL);
    execvpe(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(inPipe[1]);
    close(outPipe[0]);
    close(errPipe[0]);
    return started;
  }
  return {pid, inPipe[1], outPipe[0], errPipe[0]};
}

RunResult Finish(Started& started, const std::string& input) {
  RunResult result;
  if (started.pid < 0) return result;
  // Feed standard input and drain both outputs together, so that neither
  // side can block on a full pipe.
  size_t fed = 0;
  int& inFd = started.in;
  if (inFd >= 0 && input.empty()) {
    close(inFd);
    inFd = -1;
  } else if (inFd >= 0) {
    fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  char buffer[65536];
  while (started.out >= 0 || started.err >= 0) {
    pollfd fds[3];
    nfds_t count = 0;
    if (started.out >= 0) fds[count++] = {started.out, POLLIN, 0};
    if (started.err >= 0) fds[count++] = {started.err, POLLIN, 0};
    if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const ssize_t n = write(inFd, input.data() + fed, input.size() - fed);
        if (n > 0) fed += static_cast<size_t>(n);
        if (n < 0 || fed == input.size()) {
          close(inFd);
          inFd = -1;
        }
        continue;
      }
      const bool isOut = fds[i].fd == started.out;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (isOut ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        (isOut ? started.out : started.err) = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  inFd = -1;
  int status = 0;
  while (waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

RunResult Run(const std::vector<std::string>& argv, const RunOptions& options) {
  Started started = Start(argv, options);
  return Finish(started, options.input);
}

}  // namespace porute_test
