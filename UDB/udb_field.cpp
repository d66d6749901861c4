#include "udb_field.h"

udb_field::udb_field(std::u16string name, uint32_t size, const ole_variant& value, bool not_null, bool auto_increment)
    : ole_variant(value), size_(size), name_(std::move(name)), not_null_(not_null), auto_increment_(auto_increment) {}

udb_field::~udb_field() = default;
