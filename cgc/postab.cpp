#include <cstdint>
#include <cstring>

#include "cgc/movecheck.h"

unsigned cgc_hash(const char* text)
{
    uint32_t h = 0;
    for (const char* c = text; *c != '\0'; ++c)
        h = h * 31 + static_cast<unsigned char>(*c);
    return h % CGC_POSTAB_SIZE;
}

cgc_position* cgc_add_pos(cgc_position** table, const char* key)
{
    unsigned bucket = cgc_hash(key);
    for (cgc_position* entry = table[bucket]; entry != nullptr; entry = entry->next) {
        if (std::strncmp(entry->key, key, CGC_POSITION_KEY_LENGTH) == 0) {
            ++entry->count;
            return entry;
        }
    }
    auto* entry = static_cast<cgc_position*>(cgc_alloc(sizeof(cgc_position)));
    if (entry == nullptr)
        return nullptr;
    std::strncpy(entry->key, key, CGC_POSITION_KEY_LENGTH);
    entry->key[CGC_POSITION_KEY_LENGTH] = '\0';
    entry->count = 1;
    entry->next = table[bucket];
    table[bucket] = entry;
    return entry;
}

void cgc_free_postab(cgc_position** table)
{
    for (int bucket = 0; bucket < CGC_POSTAB_SIZE; ++bucket) {
        cgc_position* entry = table[bucket];
        while (entry != nullptr) {
            cgc_position* next = entry->next;
            cgc_release(entry);
            entry = next;
        }
        table[bucket] = nullptr;
    }
}
