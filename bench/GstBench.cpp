// porute-gstbench MOVIE [SEEK_FRAME]: the GStreamer element's speed on one
// movie. Prints the seconds to decode every frame into fake sinks, and the
// seconds from a flushing, accurate seek to SEEK_FRAME (default: 10 frames
// before the end) until the pipeline has the frame again.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gst/gst.h>

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(GstElement* pipeline, GstMessageType wanted) {
  GstBus* bus = gst_element_get_bus(pipeline);
  bool ok = false;
  for (;;) {
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 600 * GST_SECOND, static_cast<GstMessageType>(wanted | GST_MESSAGE_ERROR));
    if (message == nullptr) break;
    const bool error = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline);
    gst_message_unref(message);
    if (error) break;
    if (fromPipeline || wanted == GST_MESSAGE_EOS) {
      ok = true;
      break;
    }
  }
  gst_object_unref(bus);
  return ok;
}

GstElement* Pipeline(const char* path) {
  GstElement* pipeline = gst_parse_launch(
      "filesrc name=src ! porutedemux name=d d.video ! queue ! fakesink "
      "d.audio ! queue ! fakesink",
      nullptr);
  GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  g_object_set(source, "location", path, nullptr);
  gst_object_unref(source);
  return pipeline;
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: porute-gstbench MOVIE [SEEK_FRAME]\n");
    return 2;
  }
  GstElement* pipeline = Pipeline(argv[1]);
  auto start = Clock::now();
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  if (!WaitFor(pipeline, GST_MESSAGE_EOS)) return 1;
  const double decode = Since(start);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);

  // A fresh pipeline stands at the first chunk: the seek decodes up to the
  // target, as a player's first jump near the end does.
  pipeline = Pipeline(argv[1]);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  if (gst_element_get_state(pipeline, nullptr, nullptr, 600 * GST_SECOND) !=
      GST_STATE_CHANGE_SUCCESS) {
    return 1;
  }
  gint64 duration = 0;
  gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration);
  GstElement* demux = gst_bin_get_by_name(GST_BIN(pipeline), "d");
  GstPad* video = gst_element_get_static_pad(demux, "video");
  GstCaps* caps = gst_pad_get_current_caps(video);
  int rate = 0, scale = 1;
  gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &rate, &scale);
  const gint64 frames = gst_util_uint64_scale(duration, rate, GST_SECOND * scale);
  const gint64 target = argc > 2 ? std::atoll(argv[2]) : frames - 10;
  const gint64 time = gst_util_uint64_scale(target, GST_SECOND * scale, rate);
  start = Clock::now();
  gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                          time);
  gst_element_get_state(pipeline, nullptr, nullptr, 600 * GST_SECOND);
  const double seek = Since(start);
  std::printf("decode %.4f s (%lld frames)\nseek to frame %lld: %.4f s\n", decode,
              static_cast<long long>(frames), static_cast<long long>(target), seek);
  gst_caps_unref(caps);
  gst_object_unref(video);
  gst_object_unref(demux);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return 0;
}
