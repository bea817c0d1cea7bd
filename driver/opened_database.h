// SPDX-License-Identifier: MIT
// An open handheld database, owned for as long as the object lives: closed
// with CloseDatabase when the object goes or Close() is called.
#pragma once

#include <cstdint>

#include "handheld/sync_services.h"

namespace kestrel {

class OpenedDatabase {
 public:
  OpenedDatabase() = default;
  ~OpenedDatabase() { Close(); }
  OpenedDatabase(const OpenedDatabase&) = delete;
  OpenedDatabase& operator=(const OpenedDatabase&) = delete;

  std::uint8_t Handle() const { return handle_; }
  bool IsOpen() const { return handle_ != 0; }

  // The handle for OpenDatabase to fill in. Closes what was open first, so
  // it starts at 0 and a nonzero handle afterwards is one the host issued.
  std::uint8_t* HandleToFill() {
    Close();
    return &handle_;
  }

  // Takes over a handle that the host issued some other way (CreateDatabase).
  void Adopt(std::uint8_t handle) {
    Close();
    handle_ = handle;
  }

  // Drops a handle without closing it: for an open that the host refused.
  void Forget() { handle_ = 0; }

  // Closes the database when one is open; CloseDatabase's status carries no
  // meaning for the conduit.
  void Close() {
    if (handle_ != 0) {
      CloseDatabase(handle_);
      handle_ = 0;
    }
  }

 private:
  std::uint8_t handle_ = 0;
};

}  // namespace kestrel
