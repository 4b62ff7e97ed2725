/* Visibility of the kernel library's exports.
 *
 * The kernel library is compiled with hidden visibility; a name becomes part of the
 * export table only when its definition carries ZORP_API *and* the name is in the
 * generated linker version script (built from the expected-name list).  Both are needed:
 * the attribute keeps internal calls direct, the script keeps stray names out.
 *
 * On Windows the generated module-definition file alone makes the export table (a
 * dllexport here would add names of its own), and programs reach the exported tables
 * through the toolchain's automatic import, so ZORP_API is empty there. */
#ifndef ZORP_EXPORT_H
#define ZORP_EXPORT_H

#if defined(_WIN32)
#define ZORP_API
#else
#define ZORP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZORP_EXTERN_C extern "C"
#define ZORP_BEGIN_C extern "C" {
#define ZORP_END_C }
#else
#define ZORP_EXTERN_C
#define ZORP_BEGIN_C
#define ZORP_END_C
#endif

#endif
