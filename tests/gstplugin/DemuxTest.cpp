// The porutedemux element inside real GStreamer pipelines: what it gives
// must be exactly what the decoder gives, with exact times.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "tests/common/TempDir.h"
#include "tools/moviewriter/Catalogue.h"
#include "tools/moviewriter/MovieMaker.h"
#include "v02dec/V02Decode.h"

namespace mw = moviewriter;

namespace {

struct Piece {
  GstClockTime pts = GST_CLOCK_TIME_NONE;
  GstClockTime duration = GST_CLOCK_TIME_NONE;
  std::vector<uint8_t> bytes;
};

// What the decoder itself delivers: frames top row first (as GStreamer
// lays BGR out) and every chunk's sound block.
struct Decoded {
  uint32_t frameCount = 0, rate = 0, scale = 0, soundRate = 0;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> sound;
  std::string failure;  // DescribeFailure of the first failure
};

Decoded DecodeDirectly(const std::string& path) {
  Decoded out;
  V02Decode decoder;
  if (decoder.Open(path) != kMovieOk) {
    out.failure = DescribeFailure(decoder.LastFailure());
    return out;
  }
  out.frameCount = decoder.Parameters().frameCount;
  out.rate = decoder.Parameters().rate;
  out.scale = decoder.Parameters().scale;
  out.soundRate = decoder.Parameters().soundRate;
  while (decoder.FramesRemaining() > 0) {
    const uint32_t before = decoder.FramesRemaining();
    const MovieResult result = decoder.ReadChunk();
    for (uint32_t slot = 0; slot < before - decoder.FramesRemaining(); ++slot) {
      const TBitmap& bitmap = *decoder.frameBitmaps[slot];
      std::vector<uint8_t> frame;
      for (int y = 0; y < bitmap.Height(); ++y) {
        frame.insert(frame.end(), bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.RowBytes());
      }
      out.frames.push_back(std::move(frame));
    }
    if (result != kMovieOk) {
      out.failure = DescribeFailure(decoder.LastFailure());
      break;
    }
    const auto* sound = reinterpret_cast<const uint8_t*>(decoder.soundBlock.get());
    out.sound.insert(out.sound.end(), sound, sound + decoder.Parameters().soundBlockBytes);
  }
  return out;
}

GstClockTime FrameTime(const Decoded& movie, uint64_t frame) {
  return gst_util_uint64_scale(frame, GST_SECOND * movie.scale, movie.rate);
}

// One pipeline: a source, the element and an app sink on each of its pads.
class Player {
 public:
  // `source` is a pipeline fragment before the element, e.g. "filesrc name=src".
  explicit Player(const std::string& source) {
    GError* error = nullptr;
    const std::string description =
        source + " ! porutedemux name=d d.video ! queue ! appsink name=v sync=false "
                 "d.audio ! queue ! appsink name=a sync=false";
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
    Collect("v", &video_);
    Collect("a", &audio_);
  }
  ~Player() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }

  GstElement* Element(const char* name) { return gst_bin_get_by_name(GST_BIN(pipeline_), name); }
  void SetSource(const char* property, const GValue& value) {
    GstElement* source = Element("src");
    g_object_set_property(G_OBJECT(source), property, &value);
    gst_object_unref(source);
  }

  // Runs to the end of the stream or an error; false on an error, whose
  // text is then in Error().
  bool Run(GstState state = GST_STATE_PLAYING) {
    gst_element_set_state(pipeline_, state);
    return Wait(state == GST_STATE_PLAYING ? GST_MESSAGE_EOS : GST_MESSAGE_ASYNC_DONE);
  }
  bool Seek(GstClockTime time) {
    if (!gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                 static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                 static_cast<gint64>(time))) {
      return false;
    }
    return Wait(GST_MESSAGE_ASYNC_DONE);
  }
  gint64 Duration() {
    gint64 duration = -1;
    gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration);
    return duration;
  }
  std::vector<Piece> TakeVideo() { return Take(video_); }
  std::vector<Piece> TakeAudio() { return Take(audio_); }
  const std::string& Error() const { return error_; }

 private:
  bool Wait(GstMessageType done) {
    GstBus* bus = gst_element_get_bus(pipeline_);
    bool ok = false;
    for (;;) {
      GstMessage* message = gst_bus_timed_pop_filtered(
          bus, 60 * GST_SECOND,
          static_cast<GstMessageType>(done | GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
      if (message == nullptr) {
        error_ = "timed out";
        break;
      }
      if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        error_ = error->message;
        g_error_free(error);
        gst_message_unref(message);
        break;
      }
      const bool finished = GST_MESSAGE_TYPE(message) == done ||
                            GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
      const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_) ||
                                GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
      gst_message_unref(message);
      if (finished && fromPipeline) {
        ok = true;
        break;
      }
    }
    gst_object_unref(bus);
    return ok;
  }

  struct Sink {
    std::mutex mutex;
    std::vector<Piece> pieces;
  };

  static GstFlowReturn NewSample(GstAppSink* appsink, gpointer data) {
    auto* sink = static_cast<Sink*>(data);
    GstSample* sample = gst_app_sink_pull_sample(appsink);
    if (sample == nullptr) return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    Piece piece;
    piece.pts = GST_BUFFER_PTS(buffer);
    piece.duration = GST_BUFFER_DURATION(buffer);
    piece.bytes.resize(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, piece.bytes.data(), piece.bytes.size());
    gst_sample_unref(sample);
    std::lock_guard lock(sink->mutex);
    sink->pieces.push_back(std::move(piece));
    return GST_FLOW_OK;
  }

  void Collect(const char* name, Sink* sink) {
    GstElement* appsink = Element(name);
    if (appsink == nullptr) return;
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = NewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, sink, nullptr);
    gst_object_unref(appsink);
  }

  static std::vector<Piece> Take(Sink& sink) {
    std::lock_guard lock(sink.mutex);
    return std::exchange(sink.pieces, {});
  }

  GstElement* pipeline_ = nullptr;
  Sink video_;
  Sink audio_;
  std::string error_;
};

std::string PlayFile(Player& player, const std::string& path) {
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_TYPE_STRING);
  g_value_set_string(&value, path.c_str());
  player.SetSource("location", value);
  g_value_unset(&value);
  return player.Run() ? std::string() : player.Error();
}

void ExpectSameAsDecoder(Player& player, const Decoded& expected) {
  const std::vector<Piece> video = player.TakeVideo();
  ASSERT_EQ(video.size(), expected.frames.size());
  for (size_t n = 0; n < video.size(); ++n) {
    EXPECT_EQ(video[n].pts, FrameTime(expected, n)) << "frame " << n;
    EXPECT_EQ(video[n].duration, FrameTime(expected, n + 1) - FrameTime(expected, n));
    EXPECT_TRUE(video[n].bytes == expected.frames[n]) << "frame " << n;
  }
  std::vector<uint8_t> sound;
  GstClockTime soundTime = 0;
  for (const Piece& piece : player.TakeAudio()) {
    EXPECT_EQ(piece.pts, gst_util_uint64_scale(sound.size() / 2, GST_SECOND, expected.soundRate));
    sound.insert(sound.end(), piece.bytes.begin(), piece.bytes.end());
    soundTime = piece.pts + piece.duration;
  }
  EXPECT_TRUE(sound == expected.sound);
  EXPECT_EQ(soundTime, gst_util_uint64_scale(sound.size() / 2, GST_SECOND, expected.soundRate));
}

struct MovieCase {
  const char* name;
  bool v00;
  uint32_t width, height, frames, framesPerChunk, scale;
  bool withSound;
};

class DemuxOutput : public testing::TestWithParam<MovieCase> {};

// Every frame and sample, from a file (pull mode), through a queue (push
// mode, the file read by its name) and from a descriptor (the bytes alone,
// so a VD00 movie's companion cannot be found: silence).
TEST_P(DemuxOutput, EqualsTheDecoderInEveryMode) {
  const MovieCase& c = GetParam();
  porute_test::TempDir dir;
  std::string path;
  if (c.v00) {
    mw::V00MovieOptions options;
    options.width = c.width;
    options.height = c.height;
    options.frames = c.frames;
    options.scale = c.scale;
    options.withSound = c.withSound;
    path = dir / "movie.V00";
    ASSERT_EQ(mw::WriteV00Movie(path, options), 0);
  } else {
    mw::V02MovieOptions options{.width = c.width, .height = c.height, .frames = c.frames,
        .scale = c.scale, .framesPerChunk = c.framesPerChunk};
    path = dir / "movie.V02";
    ASSERT_EQ(mw::WriteV02Movie(path, options), 0);
  }
  const Decoded expected = DecodeDirectly(path);
  ASSERT_EQ(expected.frames.size(), c.frames);

  for (const char* source : {"filesrc name=src", "filesrc name=src ! queue"}) {
    SCOPED_TRACE(source);
    Player player(source);
    ASSERT_EQ(PlayFile(player, path), "");
    EXPECT_EQ(player.Duration(), static_cast<gint64>(FrameTime(expected, c.frames)));
    ExpectSameAsDecoder(player, expected);
  }

  const std::string alone = dir / "alone.V00";
  std::filesystem::copy_file(path, alone);
  const Decoded bytesAlone = DecodeDirectly(c.v00 ? alone : path);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (const char* source : {"fdsrc name=src", "fdsrc name=src ! queue"}) {
    SCOPED_TRACE(source);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    Player player(source);
    GValue value = G_VALUE_INIT;
    g_value_init(&value, G_TYPE_INT);
    g_value_set_int(&value, fd);
    player.SetSource("fd", value);
    ASSERT_TRUE(player.Run()) << player.Error();
    ExpectSameAsDecoder(player, bytesAlone);
  }
  close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Movies, DemuxOutput,
    testing::Values(MovieCase{"v02_8_per_chunk", false, 160, 120, 20, 8, 6, true},
                    MovieCase{"v02_1_per_chunk", false, 24, 10, 5, 1, 1, true},
                    MovieCase{"v02_64_per_chunk", false, 40, 30, 65, 64, 7, true},
                    MovieCase{"v00_odd_size", true, 101, 51, 11, 8, 5, true},
                    MovieCase{"v00_without_companion", true, 33, 9, 9, 8, 6, false}),
    [](const testing::TestParamInfo<MovieCase>& param) { return std::string(param.param.name); });

// A seek lands on the frame showing at the asked time, forward from where
// the decoder stands and back behind it; the sound resumes with its chunk.
TEST(DemuxSeek, LandsOnTheExactFrame) {
  porute_test::TempDir dir;
  mw::V02MovieOptions options{.width = 64, .height = 48, .frames = 70, .framesPerChunk = 8};
  const std::string path = dir / "movie.V02";
  ASSERT_EQ(mw::WriteV02Movie(path, options), 0);
  const Decoded expected = DecodeDirectly(path);

  Player player("filesrc name=src");
  GValue value = G_VALUE_INIT;
  g_value_init(&value, G_TYPE_STRING);
  g_value_set_string(&value, path.c_str());
  player.SetSource("location", value);
  g_value_unset(&value);
  ASSERT_TRUE(player.Run(GST_STATE_PAUSED)) << player.Error();
  for (uint32_t target : {53u, 61u, 3u}) {
    SCOPED_TRACE(target);
    player.TakeVideo();
    player.TakeAudio();
    // A time inside the frame, not at its start.
    ASSERT_TRUE(player.Seek(FrameTime(expected, target) + 1)) << player.Error();
    ASSERT_TRUE(player.Run()) << player.Error();
    const std::vector<Piece> video = player.TakeVideo();
    ASSERT_EQ(video.size(), 70 - target);
    EXPECT_EQ(video[0].pts, FrameTime(expected, target));
    EXPECT_TRUE(video[0].bytes == expected.frames[target]);
    EXPECT_TRUE(video.back().bytes == expected.frames[69]);
    const std::vector<Piece> audio = player.TakeAudio();
    ASSERT_FALSE(audio.empty());
    const size_t blockBytes = expected.sound.size() / 9;
    EXPECT_TRUE(std::equal(audio[0].bytes.begin(), audio[0].bytes.end(),
                           expected.sound.begin() + (target / 8) * blockBytes));
  }
}

// Damaged movies end in an element error whose text is the decoder's own
// cause, after the frames before the damage.
TEST(DemuxDamage, EndsWithTheDecodersCause) {
  porute_test::TempDir dir;
  int failing = 0;
  for (const mw::CatalogueMovie& movie : mw::DamagedMovies()) {
    SCOPED_TRACE(movie.name);
    const std::string path = dir.Write(movie.name + movie.extension, movie.movie);
    if (movie.companion) dir.Write(movie.name + ".snd", *movie.companion);
    const Decoded expected = DecodeDirectly(path);
    Player player("filesrc name=src");
    const std::string error = PlayFile(player, path);
    if (!expected.failure.empty()) ++failing;
    // The element tells the generations apart by content, not by the name:
    // a refused header may be refused by the other generation's test.
    if (movie.openResult == mw::kResultUnsupported) {
      EXPECT_NE(error, "timed out");
      continue;
    }
    EXPECT_EQ(error, expected.failure);
    const std::vector<Piece> video = player.TakeVideo();
    ASSERT_LE(video.size(), expected.frames.size());
    for (size_t n = 0; n < video.size(); ++n) EXPECT_TRUE(video[n].bytes == expected.frames[n]);
  }
  EXPECT_GT(failing, 10);
}

// Every input that once crashed a decoder, through the element: an error or
// the end of the stream, never a crash or a hang.
TEST(DemuxDamage, SurvivesTheFuzzersRegressions) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PORUTE_FUZZ_REGRESSIONS_DIR)) {
    SCOPED_TRACE(entry.path().string());
    Player player("filesrc name=src");
    const std::string error = PlayFile(player, entry.path().string());
    EXPECT_NE(error, "timed out");
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace

// GLib and GStreamer keep allocations of their own for the life of the
// process (type system, thread pools, the registry) that the leak checker
// of a sanitizer build would report; the decoder's and the element's own
// memory is still checked.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgstreamer-1.0.so\n";
}

int main(int argc, char** argv) {
  // The build's plugin, and a registry of the build's own so that the
  // system's cache is neither used nor written.
  setenv("GST_PLUGIN_PATH", PORUTE_GST_PLUGIN_BUILD_DIR, 1);
  setenv("GST_REGISTRY", PORUTE_GST_REGISTRY, 1);
  // Plugins are scanned inside this process: a sanitizer build's plugin
  // cannot be loaded by the uninstrumented scanner.
  setenv("GST_REGISTRY_FORK", "no", 1);
  gst_init(&argc, &argv);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  gst_deinit();
  return result;
}
