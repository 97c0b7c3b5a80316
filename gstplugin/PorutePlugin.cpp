#include <cstring>

#include <gst/gst.h>

#include "gstplugin/PoruteDemux.h"

namespace {

// Both generations begin with a four-letter mark; a header whose next test
// also passes (the VD02 version, the VD00 format mark) is certainly ours,
// one with the mark alone still goes to our element, whose error then says
// what is wrong with it.
struct Generation {
  const char* magic;
  GstStaticCaps caps;
};

Generation vd02 = {"VD02", GST_STATIC_CAPS("video/x-porute-vd02")};
Generation vd00 = {"VD00", GST_STATIC_CAPS("video/x-porute-vd00")};

bool HeaderConfirms(const Generation* generation, const guint8* header) {
  const guint32 field = GST_READ_UINT32_LE(header + 12);
  if (generation == &vd02) return field == 6 || field == 7;
  return field == 0x80008000u;
}

void FindType(GstTypeFind* find, gpointer data) {
  const auto* generation = static_cast<const Generation*>(data);
  const guint8* magic = gst_type_find_peek(find, 0, 4);
  if (magic == nullptr || std::memcmp(magic, generation->magic, 4) != 0) return;
  const guint8* header = gst_type_find_peek(find, 0, 16);
  const bool confirmed = header != nullptr && HeaderConfirms(generation, header);
  GstCaps* caps = gst_static_caps_get(const_cast<GstStaticCaps*>(&generation->caps));
  gst_type_find_suggest(find, confirmed ? GST_TYPE_FIND_MAXIMUM : GST_TYPE_FIND_LIKELY, caps);
  gst_caps_unref(caps);
}

gboolean InitPlugin(GstPlugin* plugin) {
  bool registered = true;
  registered &= gst_type_find_register(plugin, "video/x-porute-vd02", GST_RANK_PRIMARY, FindType,
                                       "v02,V02",
                                       gst_static_caps_get(&vd02.caps), &vd02, nullptr) != FALSE;
  registered &= gst_type_find_register(plugin, "video/x-porute-vd00", GST_RANK_PRIMARY, FindType,
                                       "v00,V00",
                                       gst_static_caps_get(&vd00.caps), &vd00, nullptr) != FALSE;
  registered &= gst_element_register(plugin, "porutedemux", GST_RANK_PRIMARY, PORUTE_TYPE_DEMUX) !=
                FALSE;
  return registered ? TRUE : FALSE;
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, porute, "VD02 and VD00 movies", InitPlugin,
                  PORUTE_VERSION, "MIT/X11", "henkan-porute", "https://henkan-porute.example/")
