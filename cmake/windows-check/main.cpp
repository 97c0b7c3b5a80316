// Writes a few frames and their sound as FFV1/FLAC in Matroska and as
// H.264/AAC in MP4 with the statically linked libraries, then reads each file
// back through the demuxers and decoders --verify uses and counts what came
// out. The frames start as 24-bit BGR and the sound as 16-bit mono, as the
// converter's do, so swscale and swresample are exercised as well.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kFrames = 12;
constexpr int kFrameRate = 25;
constexpr int kSampleRate = 22050;
constexpr int kSamples = kFrames * kSampleRate / kFrameRate;

bool Ok(int result, const char* what) {
  if (result >= 0) return true;
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(result, text, sizeof text);
  std::fprintf(stderr, "%s: %s\n", what, text);
  return false;
}

struct Encoder {
  AVCodecContext* context = nullptr;
  AVStream* stream = nullptr;
  ~Encoder() { avcodec_free_context(&context); }
};

struct Output {
  AVFormatContext* format = nullptr;
  Encoder video;
  Encoder audio;
  ~Output() {
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

bool OpenEncoder(Output& out, Encoder& encoder, const char* name, bool isVideo) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec) {
    std::fprintf(stderr, "no encoder %s in this build\n", name);
    return false;
  }
  encoder.context = avcodec_alloc_context3(codec);
  AVCodecContext* c = encoder.context;
  if (isVideo) {
    c->width = kWidth;
    c->height = kHeight;
    c->time_base = AVRational{1, kFrameRate};
    c->framerate = AVRational{kFrameRate, 1};
    c->pix_fmt = codec->id == AV_CODEC_ID_FFV1 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    if (codec->id == AV_CODEC_ID_H264) av_opt_set(c->priv_data, "preset", "veryfast", 0);
  } else {
    c->sample_rate = kSampleRate;
    c->time_base = AVRational{1, kSampleRate};
    c->sample_fmt = codec->id == AV_CODEC_ID_FLAC ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&c->ch_layout, 1);
  }
  if (out.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (!Ok(avcodec_open2(c, codec, nullptr), name)) return false;
  encoder.stream = avformat_new_stream(out.format, nullptr);
  if (!encoder.stream) return false;
  encoder.stream->time_base = c->time_base;
  return Ok(avcodec_parameters_from_context(encoder.stream->codecpar, c), "parameters");
}

// Sends one frame (or the flush, for nullptr) and writes what comes out.
bool Encode(Output& out, Encoder& encoder, const AVFrame* frame) {
  if (!Ok(avcodec_send_frame(encoder.context, frame), "send frame")) return false;
  AVPacket* packet = av_packet_alloc();
  int result;
  while ((result = avcodec_receive_packet(encoder.context, packet)) >= 0) {
    // Without a duration the MP4 muxer's edit list ends where the last frame
    // begins, and readers leave that frame out.
    if (packet->duration == 0 && encoder.context->codec_type == AVMEDIA_TYPE_VIDEO) {
      packet->duration = 1;
    }
    av_packet_rescale_ts(packet, encoder.context->time_base, encoder.stream->time_base);
    packet->stream_index = encoder.stream->index;
    result = av_interleaved_write_frame(out.format, packet);
    if (result < 0) break;
  }
  av_packet_free(&packet);
  return result == AVERROR(EAGAIN) || result == AVERROR_EOF || Ok(result, "write packet");
}

bool WriteVideo(Output& out) {
  AVCodecContext* c = out.video.context;
  SwsContext* scale = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGR24, kWidth, kHeight,
                                     c->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
  AVFrame* frame = av_frame_alloc();
  frame->format = c->pix_fmt;
  frame->width = kWidth;
  frame->height = kHeight;
  bool ok = scale && Ok(av_frame_get_buffer(frame, 0), "frame buffer");
  std::vector<uint8_t> bgr(kWidth * kHeight * 3);
  for (int n = 0; ok && n < kFrames; ++n) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint8_t* pixel = &bgr[(y * kWidth + x) * 3];
        pixel[0] = static_cast<uint8_t>(x * 4 + n * 8);
        pixel[1] = static_cast<uint8_t>(y * 5);
        pixel[2] = static_cast<uint8_t>((x ^ y) + n);
      }
    }
    const uint8_t* rows[1] = {bgr.data()};
    const int strides[1] = {kWidth * 3};
    ok = Ok(av_frame_make_writable(frame), "writable frame");
    if (!ok) break;
    sws_scale(scale, rows, strides, 0, kHeight, frame->data, frame->linesize);
    frame->pts = n;
    ok = Encode(out, out.video, frame);
  }
  av_frame_free(&frame);
  sws_freeContext(scale);
  return ok && Encode(out, out.video, nullptr);
}

bool WriteAudio(Output& out) {
  AVCodecContext* c = out.audio.context;
  SwrContext* resample = nullptr;
  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  bool ok = Ok(swr_alloc_set_opts2(&resample, &c->ch_layout, c->sample_fmt, kSampleRate, &mono,
                                   AV_SAMPLE_FMT_S16, kSampleRate, 0, nullptr),
               "resampler") &&
            Ok(swr_init(resample), "resampler");
  std::vector<int16_t> samples(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    samples[i] = static_cast<int16_t>(8000.0 * std::sin(i * 2.0 * std::numbers::pi * 440.0 / kSampleRate));
  }
  const int chunk = c->frame_size > 0 ? c->frame_size : 1024;
  AVFrame* frame = av_frame_alloc();
  for (int done = 0; ok && done < kSamples; done += chunk) {
    const int count = std::min(chunk, kSamples - done);
    av_frame_unref(frame);
    frame->format = c->sample_fmt;
    frame->sample_rate = kSampleRate;
    frame->nb_samples = count;
    ok = Ok(av_channel_layout_copy(&frame->ch_layout, &c->ch_layout), "layout") &&
         Ok(av_frame_get_buffer(frame, 0), "sound buffer");
    if (!ok) break;
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(&samples[done])};
    ok = Ok(swr_convert(resample, frame->data, count, in, count), "resample");
    frame->pts = done;
    ok = ok && Encode(out, out.audio, frame);
  }
  av_frame_free(&frame);
  swr_free(&resample);
  return ok && Encode(out, out.audio, nullptr);
}

bool Write(const char* path, const char* videoCodec, const char* audioCodec) {
  Output out;
  if (!Ok(avformat_alloc_output_context2(&out.format, nullptr, nullptr, path), path)) return false;
  if (!OpenEncoder(out, out.video, videoCodec, true) ||
      !OpenEncoder(out, out.audio, audioCodec, false)) {
    return false;
  }
  if (!Ok(avio_open(&out.format->pb, path, AVIO_FLAG_WRITE), path) ||
      !Ok(avformat_write_header(out.format, nullptr), "header") || !WriteVideo(out) ||
      !WriteAudio(out) || !Ok(av_write_trailer(out.format), "trailer")) {
    return false;
  }
  return Ok(avio_closep(&out.format->pb), "close");
}

// Decodes every stream of PATH; true when all the frames and samples came back.
bool ReadBack(const char* path) {
  AVFormatContext* format = nullptr;
  if (!Ok(avformat_open_input(&format, path, nullptr, nullptr), path)) return false;
  bool ok = Ok(avformat_find_stream_info(format, nullptr), "stream info");
  std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
  for (unsigned i = 0; ok && i < format->nb_streams; ++i) {
    const AVCodecParameters* parameters = format->streams[i]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    decoders[i] = avcodec_alloc_context3(codec);
    ok = codec && Ok(avcodec_parameters_to_context(decoders[i], parameters), "decoder") &&
         Ok(avcodec_open2(decoders[i], codec, nullptr), "decoder");
  }
  long frames = 0;
  long samples = 0;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](AVCodecContext* decoder) {
    while (avcodec_receive_frame(decoder, frame) >= 0) {
      if (decoder->codec_type == AVMEDIA_TYPE_VIDEO) ++frames;
      else samples += frame->nb_samples;
    }
  };
  while (ok && av_read_frame(format, packet) >= 0) {
    AVCodecContext* decoder = decoders[packet->stream_index];
    ok = Ok(avcodec_send_packet(decoder, packet), "decode");
    av_packet_unref(packet);
    drain(decoder);
  }
  for (AVCodecContext* decoder : decoders) {
    if (ok && decoder) {
      avcodec_send_packet(decoder, nullptr);
      drain(decoder);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  for (AVCodecContext*& decoder : decoders) avcodec_free_context(&decoder);
  avformat_close_input(&format);
  std::printf("%s: %ld frames, %ld samples\n", path, frames, samples);
  // AAC pads the sound to whole frames; never less than was written.
  return ok && frames == kFrames && samples >= kSamples;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: porute-windows-check OUT.mkv OUT.mp4\n");
    return 2;
  }
  const bool ok = Write(argv[1], "ffv1", "flac") && ReadBack(argv[1]) &&
                  Write(argv[2], "libx264", "aac") && ReadBack(argv[2]);
  return ok ? 0 : 1;
}
