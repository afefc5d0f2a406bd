// Linked into the tests under ThreadSanitizer. Boost.Regex before 1.76 is a
// compiled library whose matchers take their stack blocks from a lock-free
// cache inside it; that library is not built with ThreadSanitizer, so the
// atomics that hand a block from one thread to the next are invisible, and
// the next matcher's writes to the block are reported as a race. These
// definitions take the place of the library's (the program's own symbols
// come first), so every block is a plain allocation the sanitizer follows.
// From 1.76 on the cache is header code, compiled with the sanitizer.
#include <boost/regex.hpp>

#if BOOST_VERSION < 107600
namespace boost::BOOST_REGEX_DETAIL_NS {

void* BOOST_REGEX_CALL get_mem_block() { return ::operator new(BOOST_REGEX_BLOCKSIZE); }

void BOOST_REGEX_CALL put_mem_block(void* block) { ::operator delete(block); }

}  // namespace boost::BOOST_REGEX_DETAIL_NS
#endif
