/*
 * utils - small helpers shared by the loop, list and blob code
 *
 * Valid C and C++. Like the rest of this library's headers there are no
 * extern "C" guards: C++ users wrap the include in extern "C" { }.
 */
#ifndef __LIBUBOX_UTILS_H
#define __LIBUBOX_UTILS_H

#include <sys/types.h>
#include <stdint.h>
#include <stdbool.h>
#include <stddef.h>

/*
 * calloc_a(len, &ptr1, len1, &ptr2, len2, ...): one allocation holding the
 * record of size len followed by the extra areas, each pointer set to its
 * area. Everything is freed with one free() of the returned pointer.
 */
void *__calloc_a(size_t len, ...);

#ifndef ARRAY_SIZE
#define ARRAY_SIZE(arr) (sizeof(arr) / sizeof((arr)[0]))
#endif

#define __BUILD_BUG_ON(condition) ((void)sizeof(char[1 - 2*!!(condition)]))

#ifdef __OPTIMIZE__
#define BUILD_BUG_ON(condition) ((void)sizeof(char[1 - 2*!!(condition)]))
#else
#define BUILD_BUG_ON(condition) __BUILD_BUG_ON(condition)
#endif

#define calloc_a(len, ...) __calloc_a(len, ##__VA_ARGS__, NULL)

#ifndef container_of
#define container_of(ptr, type, member)					\
	({								\
		const __typeof__(((type *) NULL)->member) *__mptr = (ptr);	\
		(type *) ((char *) __mptr - offsetof(type, member));	\
	})
#endif

#ifndef container_of_safe
#define container_of_safe(ptr, type, member)				\
	({								\
		const __typeof__(((type *) NULL)->member) *__mptr = (ptr);	\
		__mptr ? (type *)((char *) __mptr - offsetof(type, member)) : NULL; \
	})
#endif

#ifndef __packed
#define __packed __attribute__((packed))
#endif

#ifndef __constructor
#define __constructor __attribute__((constructor))
#endif

#ifndef __destructor
#define __destructor __attribute__((destructor))
#endif

#ifndef __hidden
#define __hidden __attribute__((visibility("hidden")))
#endif

#ifndef __noinline
#define __noinline __attribute__((noinline))
#endif

#define __u_bswap16(x) __builtin_bswap16(x)
#define __u_bswap32(x) __builtin_bswap32(x)
#define __u_bswap64(x) __builtin_bswap64(x)

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

#define cpu_to_be64(x) __u_bswap64(x)
#define cpu_to_be32(x) __u_bswap32(x)
#define cpu_to_be16(x) __u_bswap16((uint16_t) (x))

#define be64_to_cpu(x) __u_bswap64(x)
#define be32_to_cpu(x) __u_bswap32(x)
#define be16_to_cpu(x) __u_bswap16((uint16_t) (x))

#define cpu_to_le64(x) ((uint64_t) (x))
#define cpu_to_le32(x) ((uint32_t) (x))
#define cpu_to_le16(x) ((uint16_t) (x))

#define le64_to_cpu(x) ((uint64_t) (x))
#define le32_to_cpu(x) ((uint32_t) (x))
#define le16_to_cpu(x) ((uint16_t) (x))

#else /* big endian */

#define cpu_to_le64(x) __u_bswap64(x)
#define cpu_to_le32(x) __u_bswap32(x)
#define cpu_to_le16(x) __u_bswap16((uint16_t) (x))

#define le64_to_cpu(x) __u_bswap64(x)
#define le32_to_cpu(x) __u_bswap32(x)
#define le16_to_cpu(x) __u_bswap16((uint16_t) (x))

#define cpu_to_be64(x) ((uint64_t) (x))
#define cpu_to_be32(x) ((uint32_t) (x))
#define cpu_to_be16(x) ((uint16_t) (x))

#define be64_to_cpu(x) ((uint64_t) (x))
#define be32_to_cpu(x) ((uint32_t) (x))
#define be16_to_cpu(x) ((uint16_t) (x))

#endif

#ifndef BITS_PER_LONG
#define BITS_PER_LONG (8 * sizeof(unsigned long))
#endif

#define BITFIELD_SIZE(_n) (((_n) + (BITS_PER_LONG - 1)) / BITS_PER_LONG)

static inline void bitfield_set(unsigned long *bits, int bit)
{
	bits[bit / BITS_PER_LONG] |= (1UL << (bit % BITS_PER_LONG));
}

static inline void bitfield_clear(unsigned long *bits, int bit)
{
	bits[bit / BITS_PER_LONG] &= ~(1UL << (bit % BITS_PER_LONG));
}

static inline bool bitfield_test(unsigned long *bits, int bit)
{
	return !!(bits[bit / BITS_PER_LONG] & (1UL << (bit % BITS_PER_LONG)));
}

#endif
