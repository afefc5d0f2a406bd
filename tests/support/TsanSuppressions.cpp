// Suppressions built into the test programs of a ThreadSanitizer build.
//
// Boost.Regex keeps the 4 KiB blocks that hold its matchers' saved states
// in a lock-free cache of std::atomic pointers inside libboost_regex, which
// is not instrumented: a block one thread returns and another takes is
// handed over with sequentially consistent atomics that ThreadSanitizer
// never sees, so the second thread's writes to the block look unordered
// with the first one's. Only races whose stack runs through the
// construction of a saved state (the only writes into those blocks) are
// left out; inlined frames carry short names, hence the short patterns,
// which no function of this package matches.
extern "C" const char* __tsan_default_suppressions() {
  return "race:saved_\n"
         "race:save_state_init\n"
         "race:repeater_count\n";
}
