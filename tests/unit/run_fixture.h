// A run set up as the driver sets it up before pass 1, with standard output and standard
// error captured, so that single operations can be called the way the actions call them.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "driver/run.h"

class RunFixture : public ::testing::Test {
 protected:
  std::string out, err;

  void SetUp() override {
    g = new ::Run();
    out_init(g->out, -1, &out, false);
    out_init(g->err, -1, &err, true);
    out_init(g->xex, -1, nullptr, false);
    reader_init(UNGET_CAPACITY);
    symbols_start();
    g->sections = table_create(SECTION_BUCKETS);
    g->pass = 1;
  }
  void TearDown() override {
    delete g;
    g = nullptr;
  }
  // Standard output so far.
  const std::string& stdout_text() {
    out_flush(g->out);
    return out;
  }
  // Forgets what both streams received so far.
  void clear_output() {
    out_flush(g->out);
    out_flush(g->err);
    out.clear();
    err.clear();
  }
  // Moves to pass 2 as the driver does: buffers allocated, pass number 2.
  void begin_pass2() {
    g->pass = 2;
    sections_alloc_buffers();
  }
};
