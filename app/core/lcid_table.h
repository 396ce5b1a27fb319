// Windows language identifiers and their locale names, and the order in which
// the program looks for a language module for the user's language. Portable:
// no Windows headers, so the native build can test it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// One row of the table: a 16-bit language identifier and its locale name
// ("en-US", "ja-JP", "zh-Hans", neutral names such as "en").
struct LcidName {
    uint16_t id;
    const char* name;
};

// The whole table, sorted by identifier, without duplicates.
const LcidName* lcidTable();
size_t lcidTableSize();

// The locale name of `id`, or nullptr when the identifier is not in the table.
const char* localeNameOf(uint16_t id);

// The identifier tried after the user's own one fails. Chinese (primary
// language 4): Hong Kong, Taiwan, Macao and traditional Chinese itself map to
// traditional Chinese (0x7C04); every other Chinese identifier to simplified
// Chinese (0x0004). Any other language maps to its primary language (the low
// byte: 0x0411 gives 0x0011).
uint16_t neutralLanguageId(uint16_t id);

// The language a module is chosen for: the region format's language
// (GetUserDefaultLangID), except for an identifier whose primary language is
// neutral (the low ten bits zero: custom formats such as 0x1000, 0x0C00,
// 0x1400, which name no language), where the user's display language
// (GetUserDefaultUILanguage) is taken.
uint16_t moduleLanguage(uint16_t regionFormat, uint16_t displayLanguage);

// The identifiers a language module is searched for, in order: the user's
// language, its neutral form, then US English (0x0409).
std::vector<uint16_t> languageSearchOrder(uint16_t userLanguage);
