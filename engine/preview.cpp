#include "engine/preview.h"

namespace {
thread_local bool t_bPreview = false;
}  // namespace

bool PreviewActive() { return t_bPreview; }

PreviewScope::PreviewScope(bool on) : m_bPrevious(t_bPreview) { t_bPreview = on; }

PreviewScope::~PreviewScope() { t_bPreview = m_bPrevious; }
