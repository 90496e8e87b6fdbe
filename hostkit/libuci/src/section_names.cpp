// section_names: the section names of a package being read, hashed, so that
// finding a section by name and naming an anonymous one take the same time
// however many sections the file holds.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "store.h"

// Open addressing with linear probing; the table doubles at half full.
struct name_slot {
	uint32_t hash;
	const char *name;             // NULL: free
	struct uci_section *section;
};

// Anonymous names: a base name (position and content hash) -> how many
// names from that base on are known to be taken.
struct base_slot {
	bool used;
	uint32_t base;
	uint32_t taken;
};

struct uci_section_names {
	struct name_slot *names;
	size_t names_size;
	size_t names_used;
	struct base_slot *bases;
	size_t bases_size;
	size_t bases_used;
};

constexpr size_t FIRST_SIZE = 64;

static uint32_t hash_name(const char *name)
{
	uint32_t h = 2166136261u;

	for (; *name; name++)
		h = (h ^ (unsigned char) *name) * 16777619u;
	return h;
}

static uint32_t mix(uint32_t v)
{
	v ^= v >> 16;
	v *= 0x7feb352du;
	v ^= v >> 15;
	return v;
}

struct uci_section_names *uci_section_names_new(void)
{
	return (struct uci_section_names *) calloc(1, sizeof(struct uci_section_names));
}

void uci_section_names_free(struct uci_section_names *names)
{
	if (!names)
		return;
	free(names->names);
	free(names->bases);
	free(names);
}

static struct name_slot *name_slot_for(struct name_slot *slots, size_t size, const char *name, uint32_t hash)
{
	size_t i = hash & (size - 1);

	while (slots[i].name && (slots[i].hash != hash || strcmp(slots[i].name, name) != 0))
		i = (i + 1) & (size - 1);
	return &slots[i];
}

static bool grow_names(struct uci_section_names *names)
{
	size_t size = names->names_size ? names->names_size * 2 : FIRST_SIZE;
	struct name_slot *slots = (struct name_slot *) calloc(size, sizeof(*slots));

	if (!slots)
		return false;
	for (size_t i = 0; i < names->names_size; i++) {
		struct name_slot *old = &names->names[i];

		if (old->name)
			*name_slot_for(slots, size, old->name, old->hash) = *old;
	}
	free(names->names);
	names->names = slots;
	names->names_size = size;
	return true;
}

struct uci_section *uci_section_names_find(const struct uci_section_names *names, const char *name)
{
	if (!names->names_used)
		return NULL;
	return name_slot_for(names->names, names->names_size, name, hash_name(name))->section;
}

int uci_section_names_add(struct uci_section_names *names, struct uci_section *s)
{
	struct name_slot *slot;
	uint32_t hash = hash_name(s->e.name);

	if ((names->names_used + 1) * 2 > names->names_size && !grow_names(names))
		return UCI_ERR_MEM;
	slot = name_slot_for(names->names, names->names_size, s->e.name, hash);
	if (slot->name)
		return UCI_OK;
	slot->hash = hash;
	slot->name = s->e.name;
	slot->section = s;
	names->names_used++;
	return UCI_OK;
}

static struct base_slot *base_slot_for(struct base_slot *slots, size_t size, uint32_t base)
{
	size_t i = mix(base) & (size - 1);

	while (slots[i].used && slots[i].base != base)
		i = (i + 1) & (size - 1);
	return &slots[i];
}

static bool grow_bases(struct uci_section_names *names)
{
	size_t size = names->bases_size ? names->bases_size * 2 : FIRST_SIZE;
	struct base_slot *slots = (struct base_slot *) calloc(size, sizeof(*slots));

	if (!slots)
		return false;
	for (size_t i = 0; i < names->bases_size; i++) {
		struct base_slot *old = &names->bases[i];

		if (old->used)
			*base_slot_for(slots, size, old->base) = *old;
	}
	free(names->bases);
	names->bases = slots;
	names->bases_size = size;
	return true;
}

uint32_t *uci_section_names_taken_from(struct uci_section_names *names, uint32_t base)
{
	struct base_slot *slot;

	if ((names->bases_used + 1) * 2 > names->bases_size && !grow_bases(names))
		return NULL;
	slot = base_slot_for(names->bases, names->bases_size, base);
	if (!slot->used) {
		slot->used = true;
		slot->base = base;
		names->bases_used++;
	}
	return &slot->taken;
}
