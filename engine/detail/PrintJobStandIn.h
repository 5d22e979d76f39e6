#pragma once
// Temporary: the print job and the printer interface as their own branch defines them, until
// it lands. Removed on merge.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "engine/Message.h"
#include "foundation/QuilString.h"
#include "foundation/SettingsData.h"

class CPrintInfo {
 public:
  explicit CPrintInfo(IDispatch* item) : m_item(item ? CMessagePtr(new CMessage(item)) : CMessagePtr()) {}
  CMessagePtr getItem() const { return m_item; }
  bool single() const { return m_single; }
  const PrintOptions* getRange() const { return m_range ? &*m_range : nullptr; }
  void setRange(const PrintOptions& range) { m_range = range; }
  void setSingleForTesting(bool single) { m_single = single; }

 private:
  std::optional<PrintOptions> m_range;
  CMessagePtr m_item;
  bool m_single = true;
};

class IPrinter {
 public:
  virtual ~IPrinter() = default;
  virtual int DoService(int mode) = 0;
};

