// libFuzzer target for the memory loader, __tarrLoadStreamM, built with AddressSanitizer and
// UndefinedBehaviorSanitizer (tools/fuzz/CMakeLists.txt; `./zorp fuzz` builds and runs it).
//
// The loader takes no length: like its callers, it trusts the sizes an image declares (the
// header's state size and chunk count, each chunk's size), since a valid image is what
// __tarrSaveStreamM wrote into a buffer of __tarrGetStreamSize bytes. So this harness passes the
// loader only inputs at least as long as everything they declare, and skips the others: an
// over-read past such an input is then a real fault, and AddressSanitizer sees it, because
// libFuzzer hands each input over in a heap block of exactly its size. The length is worked out
// from the declared fields alone, whether or not the header would pass the loader's checks; that
// asks more than the loader reads of an image it refuses, never less.
//
// A loaded stream is then used the way a caller would: its size, a few outputs of every type, and
// a save into a buffer of the announced size whose image must load again. Abstract streams are
// loaded and saved but not drawn from, since their images carry the addresses of a caller's buffer
// and callback, meaningful only in the process that saved them.
//
// At start-up, when the corpus directory given on the command line is empty, a seed image of
// every generator is written into it (current header, and the two older headers for one
// generator), so the fuzzer starts from images that pass every check.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <dirent.h>
#include <vector>

#include "zorp/rng.h"

namespace {

uint64_t u16_at(const uint8_t* p) { return static_cast<uint64_t>(p[0]) | static_cast<uint64_t>(p[1]) << 8; }
uint64_t u32_at(const uint8_t* p) { return u16_at(p) | u16_at(p + 2) << 16; }

// True when the input holds the whole image it declares.
bool holds_declared_image(const uint8_t* d, size_t size) {
  if (size < 8) return false;
  const bool current = d[0] == 2;
  uint64_t need = current ? 24 : 20;
  if (size < need) return false;
  const uint64_t state = current ? u32_at(d + 12) : u16_at(d + 10);
  const uint64_t chunks = current ? u16_at(d + 16) : u16_at(d + 12);
  const uint8_t version = std::memcmp(d + 4, "RNG", 3) == 0 ? d[0] : d[4];
  const uint64_t key = version == 0 ? 0 : 16;
  need += state;
  for (uint64_t k = 0; k < chunks && need <= size; ++k) {
    need += 4 + key + 4;  // id, key, size
    if (need > size) return false;
    need += u32_at(d + need - 4);
  }
  return need <= size;
}

bool abstract(uint32_t brng) { return brng >= TARR_BRNG_IABSTRACT && brng <= TARR_BRNG_SABSTRACT; }

std::vector<uint8_t> save(const StreamState* s) {
  std::vector<uint8_t> image(static_cast<size_t>(__tarrGetStreamSize(s)));
  if (__tarrSaveStreamM(s, image.data()) != 0) __builtin_trap();
  return image;
}

void draw(StreamState* s) {
  uint32_t index = 0;
  const BrngProperties& row = __tarrGetBrngBaseOffset(s->brng, &index, nullptr)[index];
  uint32_t words[37 * 4];
  double d[19];
  float f[23];
  // Statuses are not judged: a loaded state may be one its generator refuses to run.
  row.iBRng(s, 37, words);
  row.dBRng(s, 19, d, -1.0, 2.0);
  row.sBRng(s, 23, f, 0.0f, 1.0f);
}

uint32_t seed_numbers[8];
int32_t seed_update(StreamState*, const int32_t* n, void*, const int32_t*, const int32_t* nmax, const int32_t*) {
  return *nmax;
}

// Seed images: every generator that can be created here, a few outputs in, and an abstract stream.
void write_seeds(const std::string& dir) {
  int k = 0;
  auto put = [&](const std::vector<uint8_t>& image) {
    const std::string path = dir + "/seed" + std::to_string(k++);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(image.data(), 1, image.size(), f);
      std::fclose(f);
    }
  };
  for (int32_t row = 0; row < __tarrGetNumRegBrngs(); ++row) {
    const uint32_t brng = static_cast<uint32_t>(row + 1) << 20;
    const uint32_t seed[2] = {12345u + static_cast<uint32_t>(row), 7};
    StreamState* s = nullptr;
    if (__tarrNewStreamEx(&s, brng, 2, seed) == 0) {
      draw(s);
      std::vector<uint8_t> image = save(s);
      put(image);
      if (brng == TARR_BRNG_MCG31) {
        // The same stream under the two older 20-byte headers: version 1 (version byte, then the
        // magic; chunk keys saved) and version 0 (magic first; no chunk keys).
        std::vector<uint8_t> body(image.begin() + 24, image.end()), v1(20, 0), v0(20, 0);
        v1[0] = 1;
        std::memcpy(&v1[4], "RNG", 3);
        std::memcpy(&v0[0], "RNG", 3);
        for (auto* h : {&v1, &v0}) {
          (*h)[10] = image[12], (*h)[11] = image[13];  // state size
          (*h)[12] = image[16], (*h)[13] = image[17];  // chunk count
          std::memcpy(h->data() + 16, &image[20], 4);  // identifier
        }
        v1.insert(v1.end(), body.begin(), body.end());
        put(v1);
        // Version 0 chunks have no key: id, size, data.
        const size_t state = u32_at(&image[12]);
        v0.insert(v0.end(), body.begin(), body.begin() + static_cast<long>(state));
        for (size_t at = state; at < body.size();) {
          const size_t bytes = u32_at(&body[at + 20]);
          v0.insert(v0.end(), body.begin() + static_cast<long>(at), body.begin() + static_cast<long>(at) + 4);
          v0.insert(v0.end(), body.begin() + static_cast<long>(at) + 20, body.begin() + static_cast<long>(at + 24 + bytes));
          at += 24 + bytes;
        }
        put(v0);
      }
    }
    __tarrDeleteStream(&s);
  }
  StreamState* s = nullptr;
  if (__tarriNewAbstractStream(&s, 8, seed_numbers, seed_update) == 0) put(save(s));
  __tarrDeleteStream(&s);
}

bool empty_dir(const char* path) {
  DIR* d = opendir(path);
  if (!d) return false;
  bool empty = true;
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
  closedir(d);
  return empty;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const char* arg = (*argv)[i];
    if (arg[0] == '-') continue;
    if (empty_dir(arg)) write_seeds(arg);
    break;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!holds_declared_image(data, size)) return 0;
  StreamState* s = reinterpret_cast<StreamState*>(1);
  if (__tarrLoadStreamM(&s, data) != 0) {
    if (s) __builtin_trap();  // a failed load hands out no stream
    return 0;
  }
  if (!abstract(s->brng)) draw(s);
  // What a loaded stream saves loads again, with the same size.
  const std::vector<uint8_t> image = save(s);
  StreamState* again = nullptr;
  if (__tarrLoadStreamM(&again, image.data()) != 0) __builtin_trap();
  if (__tarrGetStreamSize(again) != __tarrGetStreamSize(s)) __builtin_trap();
  __tarrDeleteStream(&again);
  __tarrDeleteStream(&s);
  return 0;
}
