// A sweep-log sink for benchmarks: keeps what a progress window would show,
// so a variant pays for formatting and storing its lines as a sweep does.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "engine/sweep_log.h"

class RecordingSink : public ProgressSink {
 public:
  void AppendLog(const char* text) override {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_log.emplace_back(text);
  }
  void SetItemText(int, const char* text) override {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_status = text;
  }
  bool HasItem(int) const override { return true; }
  void SetBarRange(int, int, int) override {}
  void SetBarPos(int, unsigned) override {}
  void SetCaption(const char*) override {}
  size_t Lines() const { return m_log.size(); }
  void Clear() { m_log.clear(); }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_log;
  std::string m_status;
};
