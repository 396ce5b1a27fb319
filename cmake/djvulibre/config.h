/* Hand-made configuration for DjVuLibre 3.5.28's libdjvu, used in two ways:
 * to build the library statically for the Windows targets (CMakeLists.txt
 * beside this file) and to compile our code against Debian's shared
 * libdjvulibre natively, whose own build had the same settings. */
#ifndef PV_DJVULIBRE_CONFIG_H
#define PV_DJVULIBRE_CONFIG_H

#define AUTOCONF 1
#define DJVULIBRE_VERSION "3.5.28"
#define HAVE_NAMESPACES 1
#define HAVE_STDINCLUDES 1
#define HAVE_BOOL 1
#define HAVE_EXCEPTIONS 1
#define HAVE_MEMBER_TEMPLATES 1
#define HAVE_TYPENAME 1
#define HAVE_STDINT_H 1
#define HAVE_INTTYPES_H 1
#define HAVE_WCHAR_H 1
#define HAVE_WCTYPE_H 1
#define HAS_WCHAR 1
#define HAS_WCTYPE 1
#define HAS_MBSTATE 1
#define HAVE_WCRTOMB 1
#define HAVE_ISWSPACE 1
#define HAVE_VSNPRINTF 1
#define HAVE_STRERROR 1
#define HAVE_STRFTIME 1
#define HAVE_INTEL_ATOMIC_BUILTINS 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_UNISTD_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1

#ifdef _WIN32
/* A static library: no dllimport/dllexport decoration. Threads are the
 * Windows ones (GThreads.h chooses them for _WIN32). */
# define DJVUAPI
# define DDJVUAPI
# define MINILISPAPI
#else
# define HAVE_PTHREAD 1
# define HAVE_DIRENT_H 1
# define HAVE_SYS_TIME_H 1
# define HAVE_SETENV 1
# define HAVE_MKSTEMP 1
# define HAVE_SIGACTION 1
# define HAVE_GETPWUID 1
# define HAVE_GETHOSTNAME 1
# define HAVE_PUTC_UNLOCKED 1
# define HAVE_SCHED_YIELD 1
# define HAVE_SCHED_H 1
# define HAVE_LANGINFO_H 1
# define HAVE_NL_LANGINFO 1
#endif

#endif
