// Saved-stream images, in a file or in a caller's buffer: a header, the generator state (the
// stream block from offset 16 on) and every chunk as id, key, size and data, head first.
//
// Files go through the host's buffered file services. Files and memory share the record order and differ in the header: a file writes every header
// byte (the version and the chunk count as u32), a memory image only the named fields, leaving
// the bytes between them as the buffer held them. Loading reads the current 24-byte header and
// the older 20-byte one, and validates in a fixed order so that a damaged image always fails
// with the same code.
#include <cstring>

#include "host/host.h"
#include "rng/brng/mcg_engine.h"
#include "rng/registry/registry.h"
#include "rng/stream/glob_table.h"
#include "zorp/export.h"

namespace {

constexpr uint8_t kVersion = 2;
constexpr uint32_t kMagic = 0x00474E52;  // "RNG" and a zero byte
constexpr uint16_t kHeaderBytes = 24;
constexpr uint32_t kRdrand = 0xE00000, kArs5 = 0xF00000;

template <class T>
void put_le(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}
template <class T>
T get_le(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// ---- where images go and come from --------------------------------------------------------------

struct FileSink {
  void* f;
  bool put(const void* p, size_t n) { return n == 0 || zorp_serv_fwrite(p, n, f) == n; }
};
struct MemorySink {
  uint8_t* b;
  size_t at;
  bool put(const void* p, size_t n) {
    if (n) std::memcpy(b + at, p, n);
    at += n;
    return true;
  }
};
struct FileSource {
  void* f;
  bool get(void* p, size_t n) { return n == 0 || zorp_serv_fread(p, n, f) == n; }
};
struct MemorySource {
  const uint8_t* b;
  size_t at;
  bool get(void* p, size_t n) {
    if (n) std::memcpy(p, b + at, n);
    at += n;
    return true;
  }
};

// The status codes of a medium: a file reports format and version faults apart, memory does not.
struct Codes {
  int32_t format, version;
};
constexpr Codes kFileCodes{TARR_ERROR_FILE_FORMAT, TARR_ERROR_FILE_VERSION};
constexpr Codes kMemoryCodes{TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_MEMORY_FORMAT};

// ---- saving ------------------------------------------------------------------------------------

// State and chunks, after the header; false at the first failed write.
template <class Sink>
bool put_body(Sink& out, const StreamState* s, size_t state_bytes) {
  if (!out.put(reinterpret_cast<const uint8_t*>(s) + sizeof(StreamState), state_bytes)) return false;
  for (const StreamChunk* c = s->chunks; c; c = c->next) {
    if (!out.put(&c->id, 4) || !out.put(c->key, 16) || !out.put(&c->size, 4)) return false;
    if (c->size && !out.put(c->data, c->size)) return false;
  }
  return true;
}

uint32_t chunk_count(const StreamState* s) {
  uint32_t k = 0;
  for (const StreamChunk* c = s->chunks; c; c = c->next) ++k;
  return k;
}

// The file name as a zero-terminated string: namelen >= 0 takes that many bytes into a copy
// (which *copy then owns), namelen < 0 takes fname as it is.
int32_t file_name(const char* fname, int32_t namelen, const char** name, char** copy) {
  *copy = nullptr;
  *name = fname;
  if (namelen < 0) return TARR_STATUS_OK;
  *copy = static_cast<char*>(zorp::host::allocate(static_cast<size_t>(namelen) + 1));
  if (!*copy) return TARR_ERROR_NO_MEMORY;
  if (namelen) std::memcpy(*copy, fname, static_cast<size_t>(namelen));
  (*copy)[namelen] = '\0';
  *name = *copy;
  return TARR_STATUS_OK;
}

// ---- loading -----------------------------------------------------------------------------------

struct Header {
  uint8_t raw[kHeaderBytes];
  uint32_t brng, state_bytes, chunks;
  uint16_t header_bytes;
  uint8_t version;  // the version byte that decides whether chunk keys were saved
};

// Reads the 24-byte header, or the older 20-byte one converted to the same fields.
template <class Source>
bool get_header(Source& in, Header& h) {
  if (!in.get(h.raw, 8)) return false;
  if (h.raw[0] == kVersion) {
    if (!in.get(h.raw + 8, 16)) return false;
    h.header_bytes = get_le<uint16_t>(h.raw + 8);
    h.state_bytes = get_le<uint32_t>(h.raw + 12);
    h.chunks = get_le<uint16_t>(h.raw + 16);
    h.brng = get_le<uint32_t>(h.raw + 20);
  } else {
    if (!in.get(h.raw + 8, 12)) return false;
    h.header_bytes = kHeaderBytes;
    h.state_bytes = get_le<uint16_t>(h.raw + 10);
    h.chunks = get_le<uint16_t>(h.raw + 12);
    h.brng = get_le<uint32_t>(h.raw + 16);
  }
  return true;
}

// The checks of a header in their order; the row is set when they pass.
int32_t check_header(const Header& h, const Codes& codes, zorp::rng::RowRef& r) {
  const bool magic_after = std::memcmp(h.raw + 4, "RNG", 3) == 0;
  if (!magic_after && std::memcmp(h.raw, "RNG", 3) != 0) return codes.format;
  if (h.raw[0] >= 3 && h.raw[4] > 2) return codes.version;
  r = zorp::rng::map_brng(h.brng);
  if (zorp::rng::validate(r) != TARR_STATUS_OK) return codes.format;
  if (h.state_bytes != static_cast<uint32_t>(r.table[r.index].StateSize) - sizeof(StreamState)) return codes.format;
  if (h.header_bytes < kHeaderBytes) return codes.format;
  return TARR_STATUS_OK;
}

// The saved format's version byte: byte 0 when the magic follows it, else byte 4.
uint8_t version_of(const Header& h) { return std::memcmp(h.raw + 4, "RNG", 3) == 0 ? h.raw[0] : h.raw[4]; }

template <class Source>
int32_t get_chunks(Source& in, StreamState* s, const Header& h, const Codes& codes) {
  const uint8_t version = version_of(h);
  for (uint32_t k = 0; k < h.chunks; ++k) {
    uint32_t id = 0, size = 0;
    uint64_t key[2] = {0, 0};
    if (!in.get(&id, 4)) return TARR_ERROR_FILE_READ;
    if (version == 1 || version == 2) {
      if (!in.get(key, 16)) return TARR_ERROR_FILE_READ;
    } else if (version != 0) {
      return TARR_ERROR_FILE_READ;
    }
    if (!in.get(&size, 4)) return TARR_ERROR_FILE_READ;
    // The congruential generators read their whole power table: a shorter one is no saved table.
    if (id == zorp::rng::mcg::kChunkId && size < zorp::rng::mcg::kChunkBytes) return codes.format;
    void* data = nullptr;
    if (size) {
      data = zorp::host::allocate(size);
      if (!data) return TARR_ERROR_NO_MEMORY;
      if (!in.get(data, size)) {
        zorp::host::deallocate(data);
        return TARR_ERROR_FILE_READ;
      }
    }
    // A keyed chunk joins the live entry of its key and drops the bytes read, keeping its size:
    // that size may not claim more than the entry holds, or saving the stream again would read
    // past the shared block.
    if (!zorp::rng::glob_data_holds(key, size)) {
      zorp::host::deallocate(data);
      return codes.format;
    }
    // A saved power table is not trusted: it is rebuilt from the loaded state.
    if (id == zorp::rng::mcg::kChunkId)
      zorp::rng::mcg::rebuild_power_chunk(s, h.state_bytes, static_cast<uint64_t*>(data));
    const int32_t status = __tarrAddChunk(s, id, key, data, size);
    // Under a key already shared the chunk took the shared data; the block read stays ours.
    if (status != TARR_STATUS_OK || __tarrSearchChunk(s, id) != data) zorp::host::deallocate(data);
    if (status != TARR_STATUS_OK) return status;
  }
  return TARR_STATUS_OK;
}

template <class Source>
int32_t load(StreamState** out, Source& in, const Codes& codes) {
  Header h{};
  if (!get_header(in, h)) return TARR_ERROR_FILE_READ;
  zorp::rng::RowRef r{};
  int32_t status = check_header(h, codes, r);
  if (status != TARR_STATUS_OK) return status;
  StreamState* s = nullptr;
  status = __tarrAllocateStream(&s, r.table, h.brng, r.index, r.member);
  if (status != TARR_STATUS_OK) return status;
  if (!in.get(reinterpret_cast<uint8_t*>(s) + sizeof(StreamState), h.state_bytes)) status = TARR_ERROR_FILE_READ;
  if (status == TARR_STATUS_OK && h.brng == kRdrand && !__tarrCPUisRDRAND()) status = TARR_ERROR_NO_RDRAND;
  if (status == TARR_STATUS_OK && h.brng == kArs5 && !__tarrCPUisAES()) status = TARR_ERROR_NO_AES;
  if (status == TARR_STATUS_OK) status = get_chunks(in, s, h, codes);
  if (status != TARR_STATUS_OK) {
    __tarrDeleteStream(&s);
    return status;
  }
  *out = s;
  return TARR_STATUS_OK;
}

}  // namespace

extern "C" {

ZORP_API int32_t __tarrSaveStreamF(const StreamState* s, const char* fname, int32_t namelen) {
  if (!s || !fname) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  const char* name;
  char* copy;
  int32_t status = file_name(fname, namelen, &name, &copy);
  if (status != TARR_STATUS_OK) return status;
  const size_t state_bytes = static_cast<size_t>(row->StateSize) - sizeof(StreamState);
  if (void* f = zorp_serv_fopen(name, "wb")) {
    uint8_t h[kHeaderBytes] = {};
    put_le<uint32_t>(h, kVersion);
    put_le<uint32_t>(h + 4, kMagic);
    put_le<uint16_t>(h + 8, kHeaderBytes);
    put_le<uint32_t>(h + 12, static_cast<uint32_t>(state_bytes));
    put_le<uint32_t>(h + 16, chunk_count(s));
    put_le<uint32_t>(h + 20, s->brng);
    FileSink out{f};
    if (!out.put(h, sizeof h) || !put_body(out, s, state_bytes)) status = TARR_ERROR_FILE_WRITE;
    // A failed close (where buffered data finally meets the disk) outranks an earlier status.
    if (zorp_serv_fclose(f) != 0) status = TARR_ERROR_FILE_CLOSE;
  } else {
    status = TARR_ERROR_FILE_OPEN;
  }
  zorp::host::deallocate(copy);
  return status;
}

ZORP_API int32_t __tarrSaveStreamM(const StreamState* s, uint8_t* buffer) {
  if (!s || !buffer) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  const size_t state_bytes = static_cast<size_t>(row->StateSize) - sizeof(StreamState);
  buffer[0] = kVersion;
  put_le<uint32_t>(buffer + 4, kMagic);
  put_le<uint16_t>(buffer + 8, kHeaderBytes);
  put_le<uint32_t>(buffer + 12, static_cast<uint32_t>(state_bytes));
  put_le<uint16_t>(buffer + 16, static_cast<uint16_t>(chunk_count(s)));
  put_le<uint32_t>(buffer + 20, s->brng);
  MemorySink out{buffer, kHeaderBytes};
  put_body(out, s, state_bytes);
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrLoadStreamF(StreamState** s, const char* fname, int32_t namelen) {
  if (!s || !fname) return TARR_ERROR_NULL_ENTRY;
  *s = nullptr;
  const char* name;
  char* copy;
  int32_t status = file_name(fname, namelen, &name, &copy);
  if (status != TARR_STATUS_OK) return status;
  if (void* f = zorp_serv_fopen(name, "rb")) {
    FileSource in{f};
    status = load(s, in, kFileCodes);
    if (zorp_serv_fclose(f) != 0 && status == TARR_STATUS_OK) {
      __tarrDeleteStream(s);
      status = TARR_ERROR_FILE_CLOSE;
    }
  } else {
    status = TARR_ERROR_FILE_OPEN;
  }
  zorp::host::deallocate(copy);
  return status;
}

ZORP_API int32_t __tarrLoadStreamM(StreamState** s, const uint8_t* buffer) {
  if (!s || !buffer) return TARR_ERROR_NULL_ENTRY;
  *s = nullptr;
  MemorySource in{buffer, 0};
  return load(s, in, kMemoryCodes);
}

}  // extern "C"
