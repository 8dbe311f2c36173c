// Qt's regular expressions (the file dialog's and QDir's name filters, ...) run interpreted on
// Windows. Compiled to machine code (PCRE2's JIT), each thread that matched one keeps a stack in
// a thread-local variable that is freed when the thread ends; with MinGW's emulated thread-local
// storage that can happen after the storage itself is gone, and the ending thread crashes (seen
// under wine when the image plugins' worker of main() ended). Set before main(), before Qt reads
// it.
#include <cstdlib>

namespace {

[[maybe_unused]] const int regexWithoutJit = ::_putenv("QT_ENABLE_REGEXP_JIT=0");

} // namespace
