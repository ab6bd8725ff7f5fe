// A library that leaves a mark when it is loaded: the stand-in for one the loader must never load.
#include <cstdio>
#include <cstdlib>

namespace {

struct MarkOnLoad {
  MarkOnLoad() {
    const char* mark = std::getenv("NURV_LOAD_MARK");
    if (mark == nullptr) return;
    if (std::FILE* file = std::fopen(mark, "w")) std::fclose(file);
  }
} mark_on_load;

}  // namespace
