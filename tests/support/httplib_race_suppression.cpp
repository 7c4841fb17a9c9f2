// Linked into the tests that run an HTTP receiver of their own on Debian's
// cpp-httplib, a compiled library built without ThreadSanitizer: the
// synchronisation inside it is invisible to TSan, which then reports its
// worker threads handing buffers to each other as races. The suppression
// holds for these test processes only; the collector they start is checked
// in full.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "race:libcpp-httplib.so\n";
}
