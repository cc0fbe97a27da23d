// The fixture of the unit tests that call single operations: a fresh OperationRun for every
// test, with what its streams received at hand.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/run_helper.h"

class RunFixture : public ::testing::Test {
 protected:
  std::unique_ptr<xtest::OperationRun> run_;

  void SetUp() override { run_ = std::make_unique<xtest::OperationRun>(); }
  void TearDown() override { run_.reset(); }
  // Starts over with a fresh run (for tests that loop over cases).
  void restart() {
    run_.reset();
    run_ = std::make_unique<xtest::OperationRun>();
  }
  const std::string& stdout_text() {
    out_flush(g->out);
    return run_->out;
  }
  const std::string& stderr_text() {
    out_flush(g->err);
    return run_->err;
  }
  // Forgets what both streams received so far.
  void clear_output() {
    out_flush(g->out);
    out_flush(g->err);
    run_->out.clear();
    run_->err.clear();
  }
  void begin_pass2() { run_->begin_pass2(); }
};
