// ThreadSanitizer sees the memory accesses of FFmpeg's threads but not the
// atomics they synchronise with, since the libraries are not instrumented:
// every report from inside them is noise. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libavcodec.so\n"
         "race:libavutil.so\n"
         "race:libswscale.so\n"
         "race:libswresample.so\n"
         "race:libavformat.so\n"
         "race:libx264.so\n";
}
