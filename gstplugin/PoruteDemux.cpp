#include "gstplugin/PoruteDemux.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <string>

#include <gst/base/gstflowcombiner.h>

#include "v02dec/V02Decode.h"

GST_DEBUG_CATEGORY_STATIC(porute_demux_debug);
#define GST_CAT_DEFAULT porute_demux_debug

namespace {

// What one element holds beyond its pads. The decoder is only ever called
// from the streaming task (and, with the task stopped, from a state change),
// as it wants one thread.
struct DemuxState {
  V02Decode decoder;
  // Set while a seek or a shutdown waits for the task: the decoder drops the
  // chunk in hand within a run or a row instead of finishing it.
  std::atomic<bool> abort{false};

  // Where the decoder reads from: the upstream file itself, or, when
  // upstream has no local file, /proc/self/fd/N of an anonymous file that
  // holds the bytes it gave.
  std::string path;
  int bytesFd = -1;
  bool pullMode = false;
  bool sourceKnown = false;
  bool taskStarted = false;

  bool opened = false;
  bool reopen = false;
  bool errorPosted = false;
  uint32_t delivered = 0;   // frames delivered by the decoder since its Open
  uint32_t firstFrame = 0;  // frames before it are decoded but not pushed
  bool sendSegment = true;
  bool sendTags = true;
  bool discont = true;
  GstSegment segment;
  guint32 seqnum = GST_SEQNUM_INVALID;

  void Reset() {
    decoder.Close();
    if (bytesFd >= 0) close(bytesFd);
    bytesFd = -1;
    path.clear();
    pullMode = sourceKnown = taskStarted = false;
    opened = reopen = errorPosted = false;
    delivered = firstFrame = 0;
    sendSegment = sendTags = discont = true;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    seqnum = gst_util_seqnum_next();
  }
};

}  // namespace

struct _PoruteDemux {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* videopad;
  GstPad* audiopad;
  GstFlowCombiner* flows;
  // Frames go out in buffers that come back when the sinks are done: a
  // fresh allocation of a frame's size per frame would cost page faults.
  GstBufferPool* framePool;
  DemuxState* state;
};

G_DEFINE_TYPE(PoruteDemux, porute_demux, GST_TYPE_ELEMENT)

namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-porute-vd02; video/x-porute-vd00"));

// The frame bitmaps are 24-bit blue-green-red rows padded to 4 bytes, which
// is GStreamer's BGR layout exactly once the rows run from the top: the
// decoder's own pixels, with nothing a converter could lose.
GstStaticPadTemplate videoTemplate = GST_STATIC_PAD_TEMPLATE(
    "video", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS("video/x-raw, format = (string) BGR, width = (int) [ 8, 8192 ], "
                    "height = (int) [ 8, 8192 ], framerate = (fraction) [ 0/1, MAX ], "
                    "pixel-aspect-ratio = (fraction) 1/1"));

GstStaticPadTemplate audioTemplate = GST_STATIC_PAD_TEMPLATE(
    "audio", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS("audio/x-raw, format = (string) S16LE, layout = (string) interleaved, "
                    "rate = (int) [ 1, MAX ], channels = (int) 1"));

constexpr guint kPullBlockBytes = 1 << 20;

DemuxState& StateOf(PoruteDemux* self) { return *self->state; }

// Frame n starts at n * scale / rate seconds, rounded down to the
// nanosecond; a frame lasts until the next one starts, so the durations add
// up to the movie's length without drift.
GstClockTime FrameTime(const V02Decode& decoder, uint64_t frame) {
  const MovieParameters& movie = decoder.Parameters();
  return gst_util_uint64_scale(frame, GST_SECOND * uint64_t{movie.scale}, movie.rate);
}

GstClockTime SampleTime(const V02Decode& decoder, uint64_t sample) {
  return gst_util_uint64_scale(sample, GST_SECOND, decoder.Parameters().soundRate);
}

// The frame showing at `time`; frameCount when the movie has ended by then.
uint32_t FrameAt(const V02Decode& decoder, GstClockTime time) {
  const MovieParameters& movie = decoder.Parameters();
  if (time >= FrameTime(decoder, movie.frameCount)) return movie.frameCount;
  uint64_t frame = gst_util_uint64_scale(time, movie.rate, GST_SECOND * uint64_t{movie.scale});
  while (frame > 0 && FrameTime(decoder, frame) > time) --frame;
  while (frame + 1 < movie.frameCount && FrameTime(decoder, frame + 1) <= time) ++frame;
  return static_cast<uint32_t>(frame);
}

void PostFailure(PoruteDemux* self, const MovieFailure& failure) {
  const std::string cause = DescribeFailure(failure);
  switch (failure.kind) {
    case FailureKind::kUnsupported:
      GST_ELEMENT_ERROR(self, STREAM, WRONG_TYPE, ("%s", cause.c_str()), (nullptr));
      break;
    case FailureKind::kReadFailed:
      // A file that simply ends early is a damaged movie; a failing system
      // call is a failing disk or a vanished file.
      if (failure.sysErrno != 0) {
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("%s", cause.c_str()),
                          ("%s", g_strerror(failure.sysErrno)));
      } else {
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", cause.c_str()), (nullptr));
      }
      break;
    case FailureKind::kNoMemory:
      GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", cause.c_str()), (nullptr));
      break;
    default:
      GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", cause.c_str()), (nullptr));
      break;
  }
  StateOf(self).errorPosted = true;
}

// The local file upstream reads, from its URI; empty for anything else.
std::string UpstreamPath(PoruteDemux* self) {
  std::string path;
  GstQuery* query = gst_query_new_uri();
  if (gst_pad_peer_query(self->sinkpad, query)) {
    gchar* uri = nullptr;
    gst_query_parse_uri(query, &uri);
    if (uri != nullptr) {
      if (gchar* file = g_filename_from_uri(uri, nullptr, nullptr)) {
        path = file;
        g_free(file);
      }
      g_free(uri);
    }
  }
  gst_query_unref(query);
  return path;
}

// The decoder reads files by name, so bytes that come without one go into
// an anonymous file in memory that it can open as /proc/self/fd/N.
bool OpenBytesFile(PoruteDemux* self) {
  DemuxState& s = StateOf(self);
  s.bytesFd = memfd_create("porute-movie", MFD_CLOEXEC);
  if (s.bytesFd < 0) {
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Cannot hold the movie's bytes"),
                      ("memfd_create: %s", g_strerror(errno)));
    s.errorPosted = true;
    return false;
  }
  s.path = "/proc/self/fd/" + std::to_string(s.bytesFd);
  return true;
}

bool AppendBytes(PoruteDemux* self, const guint8* data, gsize size) {
  DemuxState& s = StateOf(self);
  while (size > 0) {
    const ssize_t written = write(s.bytesFd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Cannot hold the movie's bytes"),
                        ("write: %s", g_strerror(written < 0 ? errno : ENOSPC)));
      s.errorPosted = true;
      return false;
    }
    data += written;
    size -= static_cast<gsize>(written);
  }
  return true;
}

GstFlowReturn PullWholeMovie(PoruteDemux* self) {
  if (!OpenBytesFile(self)) return GST_FLOW_ERROR;
  for (guint64 offset = 0;;) {
    GstBuffer* buffer = nullptr;
    const GstFlowReturn flow = gst_pad_pull_range(self->sinkpad, offset, kPullBlockBytes, &buffer);
    if (flow == GST_FLOW_EOS) return GST_FLOW_OK;
    if (flow != GST_FLOW_OK) return flow;
    GstMapInfo map;
    bool stored = false;
    gsize size = 0;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      size = map.size;
      stored = AppendBytes(self, map.data, map.size);
      gst_buffer_unmap(buffer, &map);
    }
    gst_buffer_unref(buffer);
    if (!stored) return GST_FLOW_ERROR;
    if (size < kPullBlockBytes) return GST_FLOW_OK;
    offset += size;
  }
}

GstPad* NewSourcePad(PoruteDemux* self, GstStaticPadTemplate* templ, const char* name,
                     GstCaps* caps, guint groupId);

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query);
gboolean SrcEvent(GstPad* pad, GstObject* parent, GstEvent* event);

void AddPads(PoruteDemux* self) {
  const MovieParameters& movie = StateOf(self).decoder.Parameters();
  const uint32_t divisor = std::gcd(movie.rate, movie.scale);
  GstCaps* video = gst_caps_new_simple(
      "video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT,
      static_cast<int>(movie.width), "height", G_TYPE_INT, static_cast<int>(movie.height),
      "framerate", GST_TYPE_FRACTION, static_cast<int>(movie.rate / divisor),
      static_cast<int>(movie.scale / divisor), "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
      nullptr);
  GstCaps* audio = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout",
                                       G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT,
                                       static_cast<int>(movie.soundRate), "channels", G_TYPE_INT, 1,
                                       nullptr);
  self->framePool = gst_buffer_pool_new();
  GstStructure* config = gst_buffer_pool_get_config(self->framePool);
  gst_buffer_pool_config_set_params(
      config, video, static_cast<guint>(TBitmap::RowBytesFor(movie.width) * movie.height), 2, 0);
  if (!gst_buffer_pool_set_config(self->framePool, config) ||
      !gst_buffer_pool_set_active(self->framePool, TRUE)) {
    gst_object_unref(self->framePool);
    self->framePool = nullptr;
  }
  const guint group = gst_util_group_id_next();
  self->videopad = NewSourcePad(self, &videoTemplate, "video", video, group);
  self->audiopad = NewSourcePad(self, &audioTemplate, "audio", audio, group);
  gst_caps_unref(video);
  gst_caps_unref(audio);
  gst_element_no_more_pads(GST_ELEMENT(self));
}

GstPad* NewSourcePad(PoruteDemux* self, GstStaticPadTemplate* templ, const char* name,
                     GstCaps* caps, guint groupId) {
  GstPad* pad = gst_pad_new_from_static_template(templ, name);
  gst_pad_set_query_function(pad, SrcQuery);
  gst_pad_set_event_function(pad, SrcEvent);
  gst_pad_use_fixed_caps(pad);
  gst_pad_set_active(pad, TRUE);
  gchar* id = gst_pad_create_stream_id(pad, GST_ELEMENT(self), name);
  GstEvent* start = gst_event_new_stream_start(id);
  g_free(id);
  gst_event_set_group_id(start, groupId);
  gst_pad_push_event(pad, start);
  gst_pad_set_caps(pad, caps);
  gst_element_add_pad(GST_ELEMENT(self), pad);
  gst_flow_combiner_add_pad(self->flows, pad);
  return pad;
}

void RemovePads(PoruteDemux* self) {
  gst_flow_combiner_clear(self->flows);
  if (self->framePool != nullptr) {
    gst_buffer_pool_set_active(self->framePool, FALSE);
    gst_object_unref(self->framePool);
    self->framePool = nullptr;
  }
  for (GstPad** pad : {&self->videopad, &self->audiopad}) {
    if (*pad != nullptr) gst_element_remove_pad(GST_ELEMENT(self), *pad);
    *pad = nullptr;
  }
}

// Decides between the two formats by the decoder's own header tests, so the
// element knows nothing of the layouts and a file of any name plays.
bool OpenDecoder(PoruteDemux* self) {
  DemuxState& s = StateOf(self);
  s.decoder.WatchAbort(&s.abort);
  MovieResult result = s.decoder.OpenV02(s.path);
  if (result == kMovieUnsupported && s.decoder.LastFailure().test == FailureTest::kMagic) {
    result = s.decoder.OpenV00(s.path);
  }
  if (result != kMovieOk) {
    PostFailure(self, s.decoder.LastFailure());
    s.decoder.Close();
    return false;
  }
  s.delivered = 0;
  s.reopen = false;
  return true;
}

void PushToBoth(PoruteDemux* self, GstEvent* event) {
  gst_event_set_seqnum(event, StateOf(self).seqnum);
  gst_pad_push_event(self->videopad, gst_event_ref(event));
  gst_pad_push_event(self->audiopad, event);
}

void SendStreamStart(PoruteDemux* self) {
  DemuxState& s = StateOf(self);
  if (s.sendSegment) {
    PushToBoth(self, gst_event_new_segment(&s.segment));
    s.sendSegment = false;
  }
  if (s.sendTags) {
    GstTagList* tags = gst_tag_list_new(GST_TAG_CONTAINER_FORMAT,
                                        s.decoder.IsV00() ? "VD00" : "VD02", nullptr);
    gst_tag_list_set_scope(tags, GST_TAG_SCOPE_GLOBAL);
    PushToBoth(self, gst_event_new_tag(tags));
    s.sendTags = false;
  }
}

GstFlowReturn PushFrame(PoruteDemux* self, uint32_t slot, uint32_t frame) {
  DemuxState& s = StateOf(self);
  const TBitmap& bitmap = *s.decoder.frameBitmaps[slot];
  const size_t rowBytes = bitmap.RowBytes();
  GstBuffer* buffer = nullptr;
  if (self->framePool == nullptr ||
      gst_buffer_pool_acquire_buffer(self->framePool, &buffer, nullptr) != GST_FLOW_OK) {
    buffer = gst_buffer_new_allocate(nullptr, bitmap.PixelBytes(), nullptr);
  }
  if (buffer == nullptr) return GST_FLOW_ERROR;
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }
  // The bitmap keeps its rows from the bottom up; GStreamer's from the top.
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::memcpy(map.data + static_cast<size_t>(y) * rowBytes, bitmap.ScanLine(y), rowBytes);
  }
  gst_buffer_unmap(buffer, &map);
  GST_BUFFER_PTS(buffer) = FrameTime(s.decoder, frame);
  GST_BUFFER_DURATION(buffer) = FrameTime(s.decoder, frame + 1ull) - GST_BUFFER_PTS(buffer);
  GST_BUFFER_OFFSET(buffer) = frame;
  GST_BUFFER_OFFSET_END(buffer) = frame + 1ull;
  if (s.discont) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  const GstFlowReturn flow = gst_pad_push(self->videopad, buffer);
  return gst_flow_combiner_update_pad_flow(self->flows, self->videopad, flow);
}

// A chunk's sound block plays from the chunk's first frame on; the whole
// block goes out, as the converter writes it, also for the last chunk.
GstFlowReturn PushSound(PoruteDemux* self, uint32_t chunk) {
  DemuxState& s = StateOf(self);
  const uint32_t blockBytes = s.decoder.Parameters().soundBlockBytes;
  const uint64_t samples = blockBytes / 2;
  if (samples == 0) return GST_FLOW_OK;
  const uint64_t first = uint64_t{chunk} * samples;
  GstBuffer* buffer = gst_buffer_new_memdup(s.decoder.soundBlock.get(), blockBytes);
  if (buffer == nullptr) return GST_FLOW_ERROR;
  GST_BUFFER_PTS(buffer) = SampleTime(s.decoder, first);
  GST_BUFFER_DURATION(buffer) = SampleTime(s.decoder, first + samples) - GST_BUFFER_PTS(buffer);
  GST_BUFFER_OFFSET(buffer) = first;
  GST_BUFFER_OFFSET_END(buffer) = first + samples;
  if (s.discont) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  const GstFlowReturn flow = gst_pad_push(self->audiopad, buffer);
  return gst_flow_combiner_update_pad_flow(self->flows, self->audiopad, flow);
}

GstFlowReturn PushNextChunk(PoruteDemux* self) {
  DemuxState& s = StateOf(self);
  V02Decode& d = s.decoder;
  if (s.delivered >= d.Parameters().frameCount) return GST_FLOW_EOS;
  if (GST_CLOCK_TIME_IS_VALID(s.segment.stop) && FrameTime(d, s.delivered) >= s.segment.stop) {
    return GST_FLOW_EOS;
  }
  const uint32_t before = s.delivered;
  const MovieResult result = d.ReadChunk();
  if (result == kMovieAborted) {
    // Only a seek or a shutdown aborts. The decoder is spent: the next turn
    // opens the movie again and goes on where this chunk was. While the
    // abort stands the task pauses, for the seek or the shutdown to take
    // it over; the abort may also have reached a chunk the decoder was
    // reading ahead, which shows only in a later call, after the seek.
    s.reopen = true;
    s.firstFrame = std::max(s.firstFrame, before);
    return s.abort ? GST_FLOW_FLUSHING : GST_FLOW_OK;
  }
  const uint32_t got = d.Parameters().frameCount - d.FramesRemaining() - before;
  s.delivered += got;
  if (got > 0 && s.delivered > s.firstFrame) {
    SendStreamStart(self);
    // The sound first: it starts with the chunk's first frame, and a chunk
    // may hold seconds of pictures, more than a queue downstream takes
    // before the sound sink has anything to start with.
    if (result == kMovieOk) {
      const GstFlowReturn flow = PushSound(self, before / d.Parameters().framesPerChunk);
      if (flow != GST_FLOW_OK) return flow;
    }
    for (uint32_t slot = std::max(s.firstFrame, before) - before; slot < got; ++slot) {
      const GstFlowReturn flow = PushFrame(self, slot, before + slot);
      s.discont = false;
      if (flow != GST_FLOW_OK) return flow;
    }
  }
  if (result != kMovieOk) {
    PostFailure(self, d.LastFailure());
    return GST_FLOW_ERROR;
  }
  return got == 0 ? GST_FLOW_EOS : GST_FLOW_OK;
}

void Loop(GstPad* sinkpad) {
  auto* self = PORUTE_DEMUX(GST_PAD_PARENT(sinkpad));
  DemuxState& s = StateOf(self);
  GstFlowReturn flow = GST_FLOW_OK;
  if (!s.opened) {
    if (s.path.empty() && s.bytesFd < 0) flow = PullWholeMovie(self);
    if (flow == GST_FLOW_OK && !OpenDecoder(self)) flow = GST_FLOW_ERROR;
    if (flow != GST_FLOW_OK) {
      gst_pad_pause_task(sinkpad);
      // Flushing: a shutdown while the bytes were being pulled.
      if (!s.errorPosted && flow != GST_FLOW_FLUSHING) GST_ELEMENT_FLOW_ERROR(self, flow);
      return;
    }
    s.opened = true;
    AddPads(self);
  }
  if (s.reopen) {
    s.decoder.Close();
    if (!OpenDecoder(self)) flow = GST_FLOW_ERROR;
  }
  if (flow == GST_FLOW_OK) flow = PushNextChunk(self);
  if (flow == GST_FLOW_OK) return;

  GST_DEBUG_OBJECT(self, "pausing: %s", gst_flow_get_name(flow));
  gst_pad_pause_task(sinkpad);
  if (flow == GST_FLOW_EOS) {
    if (s.segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
      const GstClockTime end = FrameTime(s.decoder, s.decoder.Parameters().frameCount);
      const gint64 stop = GST_CLOCK_TIME_IS_VALID(s.segment.stop)
                              ? static_cast<gint64>(s.segment.stop)
                              : static_cast<gint64>(end);
      GstMessage* done = gst_message_new_segment_done(GST_OBJECT(self), GST_FORMAT_TIME, stop);
      gst_message_set_seqnum(done, s.seqnum);
      gst_element_post_message(GST_ELEMENT(self), done);
      PushToBoth(self, gst_event_new_segment_done(GST_FORMAT_TIME, stop));
    } else {
      SendStreamStart(self);  // an empty movie still gets its segment
      PushToBoth(self, gst_event_new_eos());
    }
  } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    if (!s.errorPosted) GST_ELEMENT_FLOW_ERROR(self, flow);
    PushToBoth(self, gst_event_new_eos());
  }
}

void StartTask(PoruteDemux* self) {
  StateOf(self).taskStarted = true;
  gst_pad_start_task(self->sinkpad, reinterpret_cast<GstTaskFunction>(Loop), self->sinkpad,
                     nullptr);
}

// Stops the task, cutting short a chunk being decoded.
void StopTask(PoruteDemux* self) {
  DemuxState& s = StateOf(self);
  s.abort = true;
  gst_pad_stop_task(self->sinkpad);
  s.abort = false;
}

// Every seek decodes forward from the frame the decoder stands at, or from
// the movie's first frame when the target lies behind it: VD02 frames are
// built on the ones before them, and the decoder reads its files in order.
bool HandleSeek(PoruteDemux* self, GstEvent* event) {
  DemuxState& s = StateOf(self);
  gdouble rate = 1.0;
  GstFormat format = GST_FORMAT_UNDEFINED;
  GstSeekFlags flags = GST_SEEK_FLAG_NONE;
  GstSeekType startType = GST_SEEK_TYPE_NONE;
  GstSeekType stopType = GST_SEEK_TYPE_NONE;
  gint64 start = 0;
  gint64 stop = 0;
  gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
  if (format != GST_FORMAT_TIME || rate <= 0.0 || !s.opened) return false;
  const guint32 seqnum = gst_event_get_seqnum(event);
  // A pipeline sends its seek through every sink, so it arrives once per pad.
  if (seqnum == s.seqnum) return true;
  const bool flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
  if (flush) {
    for (GstPad* pad : {self->videopad, self->audiopad}) {
      GstEvent* flushStart = gst_event_new_flush_start();
      gst_event_set_seqnum(flushStart, seqnum);
      gst_pad_push_event(pad, flushStart);
    }
  } else {
    gst_pad_pause_task(self->sinkpad);
  }
  s.abort = true;
  GST_PAD_STREAM_LOCK(self->sinkpad);
  s.abort = false;
  GstSegment segment = s.segment;
  gboolean update = FALSE;
  const bool done = gst_segment_do_seek(&segment, rate, format, flags, startType,
                                        static_cast<guint64>(start), stopType,
                                        static_cast<guint64>(stop), &update);
  if (flush) {
    for (GstPad* pad : {self->videopad, self->audiopad}) {
      GstEvent* flushStop = gst_event_new_flush_stop(TRUE);
      gst_event_set_seqnum(flushStop, seqnum);
      gst_pad_push_event(pad, flushStop);
    }
  }
  GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " (%s)", GST_TIME_ARGS(segment.position),
                   done ? "done" : "refused");
  if (done) {
    const uint32_t target = FrameAt(s.decoder, segment.position);
    if (target < s.delivered) s.reopen = true;
    s.firstFrame = target;
    s.segment = segment;
    s.seqnum = seqnum;
    s.sendSegment = true;
    s.discont = true;
    if (flags & GST_SEEK_FLAG_SEGMENT) {
      GstMessage* message = gst_message_new_segment_start(
          GST_OBJECT(self), GST_FORMAT_TIME, static_cast<gint64>(segment.position));
      gst_message_set_seqnum(message, seqnum);
      gst_element_post_message(GST_ELEMENT(self), message);
    }
  }
  gst_flow_combiner_reset(self->flows);
  StartTask(self);
  GST_PAD_STREAM_UNLOCK(self->sinkpad);
  return done;
}

gboolean SrcEvent(GstPad*, GstObject* parent, GstEvent* event) {
  auto* self = PORUTE_DEMUX(parent);
  // Upstream only carries the file's bytes: nothing but a seek means
  // anything to it or to us.
  const bool handled = GST_EVENT_TYPE(event) == GST_EVENT_SEEK && HandleSeek(self, event);
  gst_event_unref(event);
  return handled;
}

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
  auto* self = PORUTE_DEMUX(parent);
  DemuxState& s = StateOf(self);
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
      GstFormat format = GST_FORMAT_UNDEFINED;
      gst_query_parse_duration(query, &format, nullptr);
      if (format != GST_FORMAT_TIME || !s.opened) return FALSE;
      gst_query_set_duration(
          query, GST_FORMAT_TIME,
          static_cast<gint64>(FrameTime(s.decoder, s.decoder.Parameters().frameCount)));
      return TRUE;
    }
    case GST_QUERY_SEEKING: {
      GstFormat format = GST_FORMAT_UNDEFINED;
      gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
      if (format != GST_FORMAT_TIME || !s.opened) return FALSE;
      gst_query_set_seeking(query, GST_FORMAT_TIME, TRUE, 0,
                            static_cast<gint64>(FrameTime(s.decoder, s.decoder.Parameters().frameCount)));
      return TRUE;
    }
    default:
      return gst_pad_query_default(pad, parent, query);
  }
}

gboolean SinkActivate(GstPad* sinkpad, GstObject*) {
  GstQuery* query = gst_query_new_scheduling();
  bool pull = false;
  if (gst_pad_peer_query(sinkpad, query)) {
    pull = gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL,
                                                    GST_SCHEDULING_FLAG_SEEKABLE);
  }
  gst_query_unref(query);
  return gst_pad_activate_mode(sinkpad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

gboolean SinkActivateMode(GstPad*, GstObject* parent, GstPadMode mode, gboolean active) {
  auto* self = PORUTE_DEMUX(parent);
  DemuxState& s = StateOf(self);
  if (!active) {
    StopTask(self);
    return TRUE;
  }
  if (mode == GST_PAD_MODE_PULL) {
    s.pullMode = true;
    s.sourceKnown = true;
    s.path = UpstreamPath(self);
    StartTask(self);
  }
  return TRUE;
}

// Push mode. A local file is read by its name from the first buffer on,
// and upstream is told that nothing more is wanted; other bytes are kept
// until the end of the stream, when decoding starts.
GstFlowReturn SinkChain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  auto* self = PORUTE_DEMUX(parent);
  DemuxState& s = StateOf(self);
  if (!s.sourceKnown) {
    s.sourceKnown = true;
    s.path = UpstreamPath(self);
    if (s.path.empty() && !OpenBytesFile(self)) {
      gst_buffer_unref(buffer);
      return GST_FLOW_ERROR;
    }
    if (s.bytesFd < 0) StartTask(self);
  }
  if (s.bytesFd < 0) {
    gst_buffer_unref(buffer);
    return GST_FLOW_EOS;
  }
  GstMapInfo map;
  bool stored = false;
  if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    stored = AppendBytes(self, map.data, map.size);
    gst_buffer_unmap(buffer, &map);
  }
  gst_buffer_unref(buffer);
  return stored ? GST_FLOW_OK : GST_FLOW_ERROR;
}

gboolean SinkEvent(GstPad*, GstObject* parent, GstEvent* event) {
  auto* self = PORUTE_DEMUX(parent);
  DemuxState& s = StateOf(self);
  // The element's own task makes every downstream event; upstream's flushes,
  // segments and end of stream only tell it when the bytes are complete.
  if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && s.bytesFd >= 0 && !s.taskStarted) {
    StartTask(self);
  } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && !s.sourceKnown) {
    GST_ELEMENT_ERROR(self, STREAM, DEMUX, ("The movie is empty"), (nullptr));
  }
  gst_event_unref(event);
  return TRUE;
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
  auto* self = PORUTE_DEMUX(element);
  if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) StateOf(self).Reset();
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(porute_demux_parent_class)->change_state(element, transition);
  if (result == GST_STATE_CHANGE_FAILURE) return result;
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    StateOf(self).Reset();
    RemovePads(self);
  }
  return result;
}

}  // namespace

static void porute_demux_finalize(GObject* object) {
  auto* self = PORUTE_DEMUX(object);
  delete self->state;
  gst_flow_combiner_free(self->flows);
  G_OBJECT_CLASS(porute_demux_parent_class)->finalize(object);
}

static void porute_demux_class_init(PoruteDemuxClass* klass) {
  GST_DEBUG_CATEGORY_INIT(porute_demux_debug, "porutedemux", 0, "VD02 and VD00 movies");
  G_OBJECT_CLASS(klass)->finalize = porute_demux_finalize;
  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  element->change_state = ChangeState;
  gst_element_class_add_static_pad_template(element, &sinkTemplate);
  gst_element_class_add_static_pad_template(element, &videoTemplate);
  gst_element_class_add_static_pad_template(element, &audioTemplate);
  gst_element_class_set_static_metadata(
      element, "VD02 and VD00 movies", "Codec/Demuxer",
      "Plays VD02 (.V02) and VD00 (.V00 with its .snd) movies as raw video and sound",
      "The henkan porute authors");
}

static void porute_demux_init(PoruteDemux* self) {
  self->state = new DemuxState;
  self->state->Reset();
  self->flows = gst_flow_combiner_new();
  self->videopad = nullptr;
  self->audiopad = nullptr;
  self->framePool = nullptr;
  self->sinkpad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
  gst_pad_set_activate_function(self->sinkpad, SinkActivate);
  gst_pad_set_activatemode_function(self->sinkpad, SinkActivateMode);
  gst_pad_set_chain_function(self->sinkpad, SinkChain);
  gst_pad_set_event_function(self->sinkpad, SinkEvent);
  gst_element_add_pad(GST_ELEMENT(self), self->sinkpad);
}
