#pragma once
// The writer of one destination table on the live server. Records are
// packed into multi-row INSERT statements of at most max_statement_bytes
// (less when the server's max_allowed_packet is smaller), built in place in
// one buffer: a row's literals are written straight after
// the pending rows, so appending never copies the pending batch. A record
// too large for batching switches the whole run to one statement per
// record, and its cells above the inline limit are streamed as long data
// through a prepared statement. A record whose statement the server's
// packet limit cannot hold is refused (reported with its number, as the
// server would refuse it) without being sent: a packet over the limit
// would cost the connection.
//
// Built, it knows the table's columns (with the server's own type texts)
// and, unless the open mode asks for none, its indexes.
//
// Ownership: owns the pending statement; the database (and its
// connection and dialect) is not owned. The destructor sends what is
// pending; call flush() to send it with errors reported to the caller.

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql_dialect.h"
#include "sql_load_format.h"
#include "sql_row_writer.h"

class sql_database;
class sql_exception;
class tk_exception;

class sql_table : public sql_row_writer {
 public:
  // The size cap of one batch statement (the head is written once per
  // statement, so this bounds the text sent in one exchange).
  static constexpr size_t max_statement_bytes = 1000000;
  // The size cap of the rows of one LOAD DATA LOCAL statement (and one
  // transaction), in their INSERT form.
  static constexpr size_t max_load_bytes = 8000000;
  // The first block of a table is this size, and each next one twice the
  // one before up to max_load_bytes: the server starts storing soon after
  // the table is made instead of waiting for a full block.
  static constexpr size_t first_load_bytes = 500000;

  // Reads the table's definition from the server.
  sql_table(sql_database& database, std::u16string table, uint32_t mode);
  ~sql_table() override;

  void append_record(const udb_record& record) override;

  // Sends the pending rows, if any, in a transaction: through LOAD DATA
  // LOCAL when the connection offers it, the table keeps transactions and
  // every value can be carried (see sql_load_format), else as multi-row
  // INSERT statements. When the server would store a value altered (cut,
  // replaced: the warnings of LOAD DATA LOCAL and INSERT IGNORE), the
  // statement is rolled back and its rows go again as INSERT statements,
  // then in halves down to single rows, so that only the rows the server
  // refuses are left out, each reported to the sink with its number. Throws sql_exception for a
  // statement the server refuses as a whole, and when a table without
  // transactions has stored altered values.
  void flush() override;
  void settle() noexcept override;

  uint64_t records_appended() const noexcept { return n_records_; }
  // The pending statement (UTF-8), empty when none.
  const std::string& pending() const noexcept { return pending_; }

 private:
  // Room a statement leaves in a packet for the protocol's own bytes.
  static constexpr size_t packet_slack = 1024;
  // The server's error number and text for a statement over its packet limit.
  static constexpr unsigned packet_too_large_error = 1153;
  static constexpr const char* packet_too_large = "Got a packet bigger than 'max_allowed_packet' bytes";
  // The server's error number of a duplicate key, the only warning a batch
  // may leave behind.
  static constexpr unsigned duplicate_key_error = 1062;
  // The warning of a ROLLBACK that could not undo a table without transactions.
  static constexpr unsigned non_transactional_rollback = 1196;
  // The answers to LOAD DATA LOCAL when local infile is off: the server's
  // (MariaDB, MySQL 8, MariaDB 10.5 on) and the client library's.
  static constexpr unsigned not_allowed_command = 1148;
  static constexpr unsigned local_infile_disabled = 3948;
  static constexpr unsigned local_infile_capability_disabled = 4166;
  static constexpr unsigned local_infile_rejected = 2068;

  void read_columns();
  void read_indexes();
  // The first warning of the last statement that is not a skipped
  // duplicate or a note, as the server's error; false when there is none.
  // `may_hide` is set when the server listed fewer warnings than it counted.
  bool bad_warning(std::string& message, unsigned& code, bool& may_hide);
  // Rows in their INSERT form: the head, then each row at its start,
  // separated by ", "; `first_row` is the 0-based number of the first.
  struct batch {
    std::string text;
    std::vector<size_t> starts;
    uint64_t first_row = 0;
    std::string_view row(size_t i) const;
  };
  // Hands the pending rows to the database's sender (after the block in
  // flight) and starts a fresh batch.
  void post_pending();
  // send(), after which a failure ends the run and nothing more is sent.
  void send_or_stop(const batch& b);
  // On the sender: stores a batch (see flush).
  void send(const batch& b);
  // Sends rows [first, end) of a batch as INSERT statements within the
  // packet limit, one statement and transaction each.
  void send_inserts(const batch& b, size_t first, size_t end);
  // A table without transactions cannot undo a statement: each row goes
  // alone, as a plain INSERT under STRICT_ALL_TABLES, so that a value the
  // server would alter refuses its row only, and a row whose key the table
  // holds is skipped.
  void send_rows_alone(const batch& b);
  // One statement of rows [first, end); on a warning (or, for a part of a
  // batch that is not `whole`, a refusal) its rows go again in parts.
  void send_batch(const batch& b, std::string_view sql, size_t first, size_t end, bool whole);
  // Sends rows [first, end) in halves, each whole or split again, down to
  // single rows, which are stored or refused (reported with their numbers).
  void retry_rows(const batch& b, size_t first, size_t end);
  // The batch through LOAD DATA LOCAL; false when it is not stored that
  // way (a value it cannot carry, a warning, local infile refused), with
  // nothing of it stored.
  bool send_load(const batch& b);
  // Reports a refused row: at once on the run's thread, at the sender's
  // next wait from the sender.
  void refuse_later(uint64_t row_number, std::exception_ptr refusal);
  // Raises the error of a statement of rows from row `first` (0-based, of
  // batch `b`) as one that ends the run, and sends nothing more.
  [[noreturn]] void refuse_statement(const sql_exception& e, const batch& b, size_t first);

  // Matches the record's cells with the table's columns when its layout is
  // new, and builds the statement heads. Throws the conformance exception
  // when a name cannot be matched.
  void prepare_layout(const udb_record& record);
  bool same_layout(const udb_record& record) const;
  void fast_append(const udb_record& record);
  void slow_append(const udb_record& record);
  // Refuses the record being appended for the packet limit.
  void refuse_too_large();
  // Of `rows` sent and committed, `stored` were stored: the others were
  // passed over for a key the table holds (told on the caller's thread).
  void tell_stored(uint64_t rows, uint64_t stored);

  sql_database& db_;
  const sql_dialect& dialect_;
  std::vector<sql_cell_slot> slots_;
  size_t packet_cap_;           // the longest statement the server takes
  size_t statement_cap_;        // the longest statement of several rows
  bool transactional_ = false;  // the table's engine keeps transactions
  // The table has triggers: its rows go once each (a block resent to find a
  // refused row would run them again, and what they write outside the
  // transaction would stay).
  bool triggered_ = false;
  std::unique_ptr<sql_load_format> load_format_;  // set when rows may go through LOAD DATA
  std::atomic<bool> load_refused_ = false;        // the server refused local infile
  std::atomic<bool> stopped_ = false;             // a statement failed: nothing more is sent
  std::string load_statement_;
  std::string load_text_;
  bool loading_ = false;                      // a block went through LOAD DATA
  size_t posted_ = 0;                         // blocks handed to the sender
  std::vector<std::u16string> layout_names_;  // the record's field names the slots were made for
  uint64_t layout_ = 0;                       // and its layout
  std::string batch_head_;                    // "INSERT IGNORE INTO `t`(`a`, `b`) VALUES"
  std::string single_head_;                   // "INSERT INTO `t`(`a`, `b`) VALUES"
  std::string pending_;
  std::vector<size_t> row_starts_;  // where each row's "(" stands in pending_
  uint64_t batch_first_row_ = 0;    // the 0-based number of pending_'s first row
  std::string row_;                 // a row moved out of a full batch
  std::string statement_;           // a one-row statement
  batch sent_;                      // the batch in flight (the sender's)
  std::string job_statement_;       // the sender's INSERT statement
  uint64_t n_records_ = 0;
};
