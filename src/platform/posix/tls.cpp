// Thread-local storage on POSIX: an index is a pthread key. The key's destructor is the
// thread-detach notification: it runs on every exiting thread that still holds a record.
#include <pthread.h>

#include "platform/platform.h"
#include "platform/thread_cache.h"

namespace zorp::platform {

__thread void* t_thread_cache = nullptr;

namespace {
void on_thread_exit(void* value) { zorp::lifecycle::thread_detach(value); }
}  // namespace

bool tls_alloc(TlsIndex* index) {
  pthread_key_t key;
  if (pthread_key_create(&key, on_thread_exit) != 0) return false;
  // pthread keys are small integers; the invalid-index value can never be one of them.
  *index = static_cast<TlsIndex>(key);
  return true;
}

void tls_free(TlsIndex index) { pthread_key_delete(static_cast<pthread_key_t>(index)); }

void* tls_get(TlsIndex index) { return pthread_getspecific(static_cast<pthread_key_t>(index)); }

bool tls_set(TlsIndex index, void* value) {
  return pthread_setspecific(static_cast<pthread_key_t>(index), value) == 0;
}

}  // namespace zorp::platform
