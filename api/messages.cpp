// What each status means, for zorp_status_message and the C++ interface's exceptions. The vector-
// math sentences are those of the host core's message catalogue (core/services.cpp) without the
// function name; the random-stream ones say what the code says in zorp/rng.h.
#include "zorp/zorp.h"

namespace {

struct Message {
  int32_t family, status;
  const char* text;
};

constexpr int32_t kAny = 0;  // the interface's own codes mean the same in every family

constexpr Message kMessages[] = {
    {kAny, 0, "no error"},
    {kAny, ZORP_ERROR_NO_AVX512,
     "this processor lacks AVX-512 F, DQ, BW or VL (or the operating system does not save their registers); "
     "the kernel library was not loaded"},
    {kAny, ZORP_ERROR_NO_LIBRARY, "the kernel library or one of its entries could not be found"},
    {kAny, ZORP_ERROR_BAD_ACCURACY, "the accuracy is none of LA, HA and EP"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_ERRDOM, "argument outside the domain of the function"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_SING, "singularity, the exact result is infinite"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_OVERFLOW, "the result overflows"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_UNDERFLOW, "the result underflows"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_BADSIZE, "bad element count"},
    {ZORP_FAMILY_VM, ZORP_VM_STATUS_BADMEM, "null array pointer"},
    {ZORP_FAMILY_RNG, TARR_ERROR_UNKNOWN_METHOD, "the method is not one this generator has"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_ARGUMENTS, "an argument is outside its domain (a count below 0, a "
                                                "parameter outside the distribution's range)"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_MEMORY, "memory could not be allocated"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NULL_ENTRY, "a null stream or array pointer"},
    {ZORP_FAMILY_RNG, TARR_ERROR_INVALID_BRNG, "the generator identifier names no registered generator"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_LEAPFROG, "this generator has no leapfrog method"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_SKIPAHEAD, "this generator has no skip-ahead method"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_SKIPAHEAD_EX, "this generator has no skip-ahead for counts above 2^64"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_STATE_SIZE, "bad state size in the generator's properties"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_WORD_SIZE, "bad word size in the generator's properties"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_SEED_COUNT, "bad seed count in the generator's properties"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_BIT_COUNT, "bad bit count in the generator's properties"},
    {ZORP_FAMILY_RNG, TARR_ERROR_QUASI_EXHAUSTED, "the quasi-random sequence is exhausted"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_STREAM_COUNT, "bad number of streams for leapfrog"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BRNG_UNSUPPORTED,
     "the request needs another kind of generator (raw 32-bit words, or an abstract stream's image that the "
     "caller did not allow)"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_CLOSE, "the file could not be closed"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_OPEN, "the file could not be opened"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_WRITE, "the file could not be written"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_READ, "the file could not be read"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_FORMAT, "the file holds no saved stream"},
    {ZORP_FAMILY_RNG, TARR_ERROR_FILE_VERSION, "the file's saved stream has an unknown version"},
    {ZORP_FAMILY_RNG, TARR_ERROR_ABSTRACT_UPDATE, "the abstract stream's callback returned a bad count"},
    {ZORP_FAMILY_RNG, TARR_ERROR_ABSTRACT_EMPTY, "the abstract stream's callback gave no numbers"},
    {ZORP_FAMILY_RNG, TARR_ERROR_ABSTRACT_KIND, "this abstract stream serves another number type"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_RDRAND, "this processor has no RDRAND instruction"},
    {ZORP_FAMILY_RNG, TARR_ERROR_RDRAND_RETRIES, "RDRAND gave no number within its retry limit"},
    {ZORP_FAMILY_RNG, TARR_ERROR_NO_AES, "this processor has no AES instructions"},
    {ZORP_FAMILY_RNG, TARR_ERROR_MEMORY_FORMAT,
     "the buffer holds no whole saved stream (a damaged header, or fewer bytes than the image declares)"},
    {ZORP_FAMILY_RNG, TARR_ERROR_BAD_PROBABILITIES, "the probabilities are negative or do not sum to 1"},
};

}  // namespace

extern "C" const char* zorp_status_message(int32_t family, int32_t status) {
  for (const Message& m : kMessages)
    if (m.status == status && (m.family == kAny || m.family == family)) return m.text;
  return status > 0 ? "warning status without a message" : "unknown status";
}
