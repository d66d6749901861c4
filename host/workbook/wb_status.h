// Status codes of the workbook engine, shaped like COM HRESULTs so that the
// dao_ layer can pass them on unchanged.
#pragma once

#include <cstdint>

using wb_hresult = std::int32_t;

inline constexpr wb_hresult wb_s_ok = 0;
// The class identifier is not registered (REGDB_E_CLASSNOTREG).
inline constexpr wb_hresult wb_e_class_not_registered = static_cast<wb_hresult>(0x80040154u);
// The object does not offer the requested interface (E_NOINTERFACE).
inline constexpr wb_hresult wb_e_no_interface = static_cast<wb_hresult>(0x80004002u);

// A DAO error number travels as FACILITY_CONTROL failure: 0x800A0000 | number,
// which is what the desktop engine returns for its trappable errors.
constexpr wb_hresult wb_dao_hresult(long dao_number) {
  return static_cast<wb_hresult>(0x800A0000u | (static_cast<std::uint32_t>(dao_number) & 0xFFFFu));
}

constexpr bool wb_failed(wb_hresult hr) { return hr < 0; }
