#pragma once

#include <gst/gst.h>

// porutedemux: plays a VD02 or VD00 movie in any GStreamer pipeline. It
// takes the movie's bytes from upstream (or, where upstream is a local file,
// its path, which also finds a VD00 movie's companion sound) and gives the
// decoder's frames as raw BGR video and its sound as 16-bit mono.

G_BEGIN_DECLS

#define PORUTE_TYPE_DEMUX (porute_demux_get_type())
G_DECLARE_FINAL_TYPE(PoruteDemux, porute_demux, PORUTE, DEMUX, GstElement)

G_END_DECLS
