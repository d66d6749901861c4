// The first pass over a worksheet (wb_sheet_schema::scan) on a thread of its
// own. Every cell with a value that the pass reads is also handed, as it
// goes, to the caller's thread through a wb_cell_log, so that the caller can
// use the rows while the pass decides the types.
//
// The thread uses the sheet source alone until finish() returns. The pass
// measures texts past wb_sheet_schema::header_text_limit rather than
// reading them whole; such a text reaches the log cut, and texts_cut() says
// so.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>

#include "wb_cell_log.h"
#include "wb_sheet_schema.h"
#include "wb_sheet_source.h"

class wb_sheet_ahead {
 public:
  // Starts the pass over `source` from its current position. Throws
  // std::system_error when no thread can be started.
  wb_sheet_ahead(wb_sheet_source& source, bool header_row, bool date1904);
  // Stops the pass (the log is cancelled) and waits for the thread.
  ~wb_sheet_ahead();
  wb_sheet_ahead(const wb_sheet_ahead&) = delete;
  wb_sheet_ahead& operator=(const wb_sheet_ahead&) = delete;

  wb_cell_log& log() { return log_; }
  // The columns the caller reads the rows with (from the first rows); set
  // once. The pass looks now and then whether its cells so far still give
  // them: once they do not, the whole sheet does not either.
  void expect(const wb_sheet_schema& columns);
  bool expectation_broken() const { return broken_.load(std::memory_order_relaxed); }
  // Waits for the pass to end. False with `dao_error` when it failed;
  // rethrows what the thread could not go on for.
  bool finish(long& dao_error);
  // After finish(): the pass's outcome.
  const wb_sheet_schema& schema() const { return schema_; }
  bool texts_cut() const { return cut_; }

 private:
  // The sheet source as the pass reads it: each cell with a value is copied
  // into the log on its way.
  class tee final : public wb_sheet_source {
   public:
    explicit tee(wb_sheet_ahead& owner) : owner_(owner) {}
    bool next_cell(wb_raw_cell& cell) override;
    bool rewind() override { return false; }
    void set_text_limit(std::size_t units) override { owner_.source_.set_text_limit(units); }
    long error() const override { return owner_.source_.error(); }
    std::uint64_t unreadable_values() const override { return owner_.source_.unreadable_values(); }
    std::uint64_t uncalculated_formulas() const override { return owner_.source_.uncalculated_formulas(); }

   private:
    wb_sheet_ahead& owner_;
  };
  void run();

  wb_sheet_source& source_;
  const bool header_row_;
  const bool date1904_;
  wb_cell_log log_;
  wb_sheet_schema schema_;  // the thread's until finish()
  bool ok_ = false;
  long error_ = 0;
  bool cut_ = false;
  std::exception_ptr thrown_;
  // Cells between two looks at the expected columns.
  static constexpr std::uint64_t look_every = 1u << 16;
  void look();
  wb_sheet_schema expected_;  // written before has_expected_ is set
  std::atomic<bool> has_expected_{false};
  std::atomic<bool> broken_{false};
  std::uint64_t cells_ = 0;  // the thread's
  std::thread thread_;
  bool joined_ = false;
};
