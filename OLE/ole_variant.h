#pragma once
// The tagged value that carries every cell, default value and statistic from
// the sources to the destinations. The tag is the VARTYPE number
// (ole_vartype.h); the value lives, by tag, in:
// - a scalar slot: the integers, floats, currency (64-bit, units of
//   1/10,000), boolean (stored as -1 or 0) and the OLE date number;
// - an ole_decimal (VT_DECIMAL);
// - an ole_date (VT_DATE, beside its date number);
// - a UTF-16 text (VT_BSTR), or the same text in UTF-8 as a reader gave it
//   (utf8_for_write, or set_utf8_borrowed for bytes the reader keeps), made
//   UTF-16 only when text() first asks for it;
// - a byte vector (the binary kinds 8209, 65 and 70).
//
// Ownership and storage reuse: the variant owns its text and byte storage.
// Both survive changes of tag, so a variant that is refilled cell after cell
// keeps their capacity: a numeric value never allocates, text set into a
// variant that had text before reuses its buffer, and copy assignment into
// an existing variant copies into the storage it already has. clear() keeps
// the storage; only destruction, a move out or release_storage() releases
// it.
//
// Text forms are US-English with '.' as the decimal separator, whatever the
// process locale. Narrow text is the process code page.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ole_date.h"
#include "ole_decimal.h"
#include "ole_vartype.h"
#include "tk_unicode.h"

class ole_variant {
 public:
  // Binary values are rendered as text up to this many bytes (to_string,
  // get_at); the rest is cut.
  static constexpr size_t max_rendered_bytes = 120000000;

  ole_variant() noexcept {}
  ole_variant(const ole_variant& other);
  ole_variant(ole_variant&& other) noexcept;
  explicit ole_variant(bool value) { set_bool(value); }
  explicit ole_variant(int16_t value) { set_i2(value); }
  explicit ole_variant(uint16_t value) { set_ui2(value); }
  explicit ole_variant(int32_t value) { set_i4(value); }
  explicit ole_variant(double value) { set_r8(value); }
  explicit ole_variant(const char16_t* text) { set_text(text ? std::u16string_view(text) : std::u16string_view()); }
  explicit ole_variant(std::u16string_view text) { set_text(text); }
  explicit ole_variant(std::u16string&& text) { attach_wstring(std::move(text)); }
  explicit ole_variant(std::vector<uint8_t> bytes) { attach_binary(std::move(bytes)); }
  explicit ole_variant(const ole_date& date) { set_date(date); }
  virtual ~ole_variant();

  ole_variant& operator=(const ole_variant& other);
  ole_variant& operator=(ole_variant&& other) noexcept;
  ole_variant& operator=(std::u16string_view text) {
    attach_wstring(text);
    return *this;
  }
  ole_variant& operator=(const std::vector<uint8_t>& bytes) {
    attach_binary(bytes);
    return *this;
  }

  // ---- Parsing -------------------------------------------------------------
  // Text into a value of tag `vt`. Empty text gives VT_EMPTY (an empty text
  // for VT_BSTR). The dedicated tags never fail: integers read as the
  // runtime's atoi/_atoi64/"%u" do, floats as atof (',' taken as '.'),
  // currency and decimal by the strict reader, dates by ole_date, booleans
  // by their words or atoi, binary as hexadecimal; a currency, date or hex
  // text that does not read gives VT_EMPTY. Any other tag goes through the
  // generic conversion from text and throws ole_type_exception on failure.
  void from_string(std::string_view text, VARTYPE vt);

  // ---- Conversion ----------------------------------------------------------
  // Converts in place; throws ole_cast_exception where the conversion is
  // impossible, leaving the value as it was.
  void change_type(VARTYPE vt);

  // ---- Printing ------------------------------------------------------------
  // Binary "0x" + upper-case hex (empty array: empty text); decimal and
  // currency with all their digits; a date as ole_date::to_string(6); text
  // in the process code page (empty if it cannot be converted); a boolean
  // "1"/"0"; VT_R8 "%.16e", VT_R4 "%.6e" (NaN: "0"); integers in decimal;
  // VT_EMPTY, VT_NULL, VT_INT and anything else: the empty text.
  virtual std::string to_string() const;
  // VT_BSTR itself; binary in the same "0x" form; otherwise to_string() widened.
  virtual std::u16string to_wstring() const;
  // The to_string() form appended to the caller's buffer (no temporary for
  // numbers, dates, binary and ASCII or UTF-8 text).
  void append_to_string(std::string& out) const;
  void append_to_wstring(std::u16string& out) const;
  // Whether to_string() would give the empty text, without building it.
  bool is_text_form_empty() const {
    // Text read as UTF-8: empty, or of some length, which has a form in a
    // UTF-8 code page.
    if (vt_ == VT_BSTR && wide_due_) {
      if (utf8_units_ == 0) return true;
      if (tk_code_page_is_utf8()) return false;
    }
    return text_form_empty();
  }

  // ---- Numeric readings ----------------------------------------------------
  // The value as a 32-bit integer: floats truncated, currency and decimal
  // rounded (0 when out of range), boolean 1/0, 64-bit integers their low
  // 32 bits, VT_INT, VT_UINT and non-numeric tags 0.
  int32_t to_long() const;
  // Floats compared with 0.0, other tags up to VT_UI8 through to_long();
  // tags above VT_UI8 give false.
  bool to_bool() const;
  // VT_EMPTY and VT_NULL give 0, numeric tags their value (boolean 1/0);
  // text, date and binary values are an internal error.
  double to_double() const;

  // ---- Tags ----------------------------------------------------------------
  VARTYPE get_type() const noexcept { return vt_; }
  bool is_numeric() const noexcept { return is_numeric(vt_); }
  // 2..6, 11, 14, 16..23.
  static bool is_numeric(VARTYPE vt) noexcept;
  // 8209, 65 and 70.
  static bool is_binary(VARTYPE vt) noexcept { return vt == VT_ARRAY_UI1 || vt == VT_BLOB || vt == VT_BLOB_OBJECT; }
  bool is_binary() const noexcept { return is_binary(vt_); }
  bool is_empty() const noexcept { return vt_ == VT_EMPTY; }
  bool is_null() const noexcept { return vt_ == VT_NULL; }

  // ---- Text and binary access for the writers ------------------------------
  // Appends a slice to `out` and returns its size. Binary (8209, 65): bytes
  // [pos, pos+n), n = min(length, size - pos) within the first
  // max_rendered_bytes, as upper-case hex; returns n. VT_BSTR: the UTF-16
  // units [pos, pos+length) in the process code page; returns the narrow
  // length. A surrogate pair is never split: a slice that ends on its first
  // half takes the second half too, and the next slice starting on the
  // second half skips it. Other tags, pos at or past the end, or a failed
  // conversion: 0.
  size_t get_at(std::string& out, size_t pos, size_t length) const;
  // Element count of a binary value (0 for other tags).
  size_t get_safe_array_size() const noexcept { return is_binary_storage() ? bytes_.size() : 0; }
  // A binary value is resized (content kept, new bytes zero); any other
  // value becomes a zero-filled byte array of tag 8209.
  void allocate_safe_array(size_t size);
  void attach_wstring(std::u16string_view text) { set_text(text); }
  void attach_wstring(std::u16string&& text);
  void attach_binary(std::span<const uint8_t> bytes);
  void attach_binary(std::vector<uint8_t>&& bytes);

  // ---- The copy path: setters (storage reused, numbers never allocate) -----
  void clear() noexcept { vt_ = VT_EMPTY; }
  // clear(), and the text and byte storage is given back (after a value so
  // large that keeping its room would cost more than allocating again).
  void release_storage() noexcept;
  void set_null() noexcept { vt_ = VT_NULL; }
  void set_text(std::u16string_view text);
  // Tag VT_BSTR and the emptied text buffer (capacity kept) for the caller
  // to fill, for example with tk_append_utf16.
  std::u16string& text_for_write();
  // Tag VT_BSTR and the emptied buffer for the text in well-formed UTF-8
  // (the caller's promise), then set_utf8_units: text() makes the UTF-16
  // form when first asked, and utf8() gives the bytes as they were set.
  std::string& utf8_for_write() noexcept {
    vt_ = VT_BSTR;
    utf8_held_ = wide_due_ = true;
    borrowed_ = nullptr;
    utf8_units_ = 0;
    utf8_.clear();
    return utf8_;
  }
  void set_utf8_units(size_t units) noexcept { utf8_units_ = units; }
  // Tag VT_BSTR and a text in well-formed UTF-8 of `units` UTF-16 units
  // that stays where it is: its owner (a reader's record, which refills
  // its own buffer line after line) keeps the bytes unchanged while the
  // variant holds them. A copy of the variant gets bytes of its own; a move
  // takes the view along.
  void set_utf8_borrowed(std::string_view text, size_t units) noexcept {
    vt_ = VT_BSTR;
    utf8_held_ = wide_due_ = true;
    borrowed_ = text.data();
    borrowed_size_ = text.size();
    utf8_units_ = units;
  }
  // The text's UTF-8 form when it was set as UTF-8 (none otherwise).
  std::optional<std::string_view> utf8() const noexcept {
    if (vt_ != VT_BSTR || !utf8_held_) return std::nullopt;
    return utf8_view();
  }
  // The length of the text in UTF-16 units (0 for other tags).
  size_t text_units() const noexcept {
    if (vt_ != VT_BSTR) return 0;
    return wide_due_ ? utf8_units_ : text_.size();
  }
  // A binary tag (8209, 65 or 70) and the emptied byte buffer to fill.
  std::vector<uint8_t>& bytes_for_write(VARTYPE vt = VT_ARRAY_UI1);
  void set_i1(int8_t v) noexcept {
    vt_ = VT_I1;
    num_.i1 = v;
  }
  void set_ui1(uint8_t v) noexcept {
    vt_ = VT_UI1;
    num_.ui1 = v;
  }
  void set_i2(int16_t v) noexcept {
    vt_ = VT_I2;
    num_.i2 = v;
  }
  void set_ui2(uint16_t v) noexcept {
    vt_ = VT_UI2;
    num_.ui2 = v;
  }
  void set_i4(int32_t v) noexcept {
    vt_ = VT_I4;
    num_.i4 = v;
  }
  void set_ui4(uint32_t v) noexcept {
    vt_ = VT_UI4;
    num_.ui4 = v;
  }
  void set_int(int32_t v) noexcept {
    vt_ = VT_INT;
    num_.i4 = v;
  }
  void set_uint(uint32_t v) noexcept {
    vt_ = VT_UINT;
    num_.ui4 = v;
  }
  void set_i8(int64_t v) noexcept {
    vt_ = VT_I8;
    num_.i8 = v;
  }
  void set_ui8(uint64_t v) noexcept {
    vt_ = VT_UI8;
    num_.ui8 = v;
  }
  void set_r4(float v) noexcept {
    vt_ = VT_R4;
    num_.r4 = v;
  }
  void set_r8(double v) noexcept {
    vt_ = VT_R8;
    num_.r8 = v;
  }
  // Currency in units of 1/10,000 (12.5 is 125000).
  void set_cy(int64_t scaled) noexcept {
    vt_ = VT_CY;
    num_.i8 = scaled;
  }
  void set_bool(bool v) noexcept {
    vt_ = VT_BOOL;
    num_.i2 = v ? -1 : 0;
  }
  void set_decimal(const ole_decimal& v) noexcept {
    vt_ = VT_DECIMAL;
    decimal_ = v;
  }
  // The date and its OLE date number.
  void set_date(const ole_date& date) noexcept;
  // A date from its OLE date number (kind 1); false (value unchanged) when
  // the number is not a date.
  bool set_date_number(double number) noexcept;

  // ---- Typed getters: the tag must match (an internal error otherwise) -----
  const std::u16string& text() const noexcept;         // VT_BSTR; empty for other tags
  const std::vector<uint8_t>& bytes() const noexcept;  // binary kinds; empty for other tags
  int8_t get_i1() const { return check(VT_I1), num_.i1; }
  uint8_t get_ui1() const { return check(VT_UI1), num_.ui1; }
  int16_t get_i2() const { return check(VT_I2), num_.i2; }
  uint16_t get_ui2() const { return check(VT_UI2), num_.ui2; }
  int32_t get_i4() const { return check(VT_I4, VT_INT), num_.i4; }       // VT_I4 or VT_INT
  uint32_t get_ui4() const { return check(VT_UI4, VT_UINT), num_.ui4; }  // VT_UI4 or VT_UINT
  int64_t get_i8() const { return check(VT_I8), num_.i8; }
  uint64_t get_ui8() const { return check(VT_UI8), num_.ui8; }
  float get_r4() const { return check(VT_R4), num_.r4; }
  double get_r8() const { return check(VT_R8), num_.r8; }
  int64_t get_cy() const { return check(VT_CY), num_.i8; }
  bool get_bool() const { return check(VT_BOOL), num_.i2 != 0; }
  const ole_decimal& get_decimal() const { return check(VT_DECIMAL), decimal_; }
  const ole_date& get_date() const { return check(VT_DATE), date_; }
  double get_date_number() const { return check(VT_DATE), num_.r8; }

  // Same tag and same value (text, bytes, number, date fields).
  bool operator==(const ole_variant& other) const;

 private:
  friend class ole_coerce;

  union scalar {
    int64_t i8;
    uint64_t ui8;
    double r8;
    float r4;
    int32_t i4;
    uint32_t ui4;
    int16_t i2;
    uint16_t ui2;
    int8_t i1;
    uint8_t ui1;
  };

  bool is_binary_storage() const noexcept { return is_binary(vt_) || vt_ == VT_DISPATCH; }
  void check(VARTYPE expected) const {
    if (vt_ != expected) wrong_tag();
  }
  void check(VARTYPE a, VARTYPE b) const {
    if (vt_ != a && vt_ != b) wrong_tag();
  }
  [[noreturn]] void wrong_tag() const;
  void copy_value_from(const ole_variant& other);
  void copy_text_from(const ole_variant& other);
  void make_wide() const;
  bool text_form_empty() const;
  std::string_view utf8_view() const noexcept {
    return borrowed_ ? std::string_view(borrowed_, borrowed_size_) : std::string_view(utf8_);
  }
  void parse_hex(std::string_view text);
  void set_text_from_narrow(std::string_view text);

  VARTYPE vt_ = VT_EMPTY;
  // Text read as UTF-8 first: what the copy path looks at of every cell
  // shares the tag's cache line.
  bool utf8_held_ = false;         // the text is UTF-8: utf8_, or the bytes at borrowed_
  mutable bool wide_due_ = false;  // and text_ is not made yet
  size_t utf8_units_ = 0;
  const char* borrowed_ = nullptr;  // set_utf8_borrowed's bytes, or null (utf8_ holds them)
  size_t borrowed_size_ = 0;
  std::string utf8_;
  scalar num_{};
  ole_decimal decimal_;
  ole_date date_;
  mutable std::u16string text_;  // made from utf8_ when wide_due_
  std::vector<uint8_t> bytes_;
};
