#pragma once
// The job the printer is printing, published process-wide for the print template's scripting
// object and its attachments dialog: the current item (the message, kept alive while published)
// and the current range. The printer publishes them for every job with a CCurrentPrintJob scope,
// so they are gone (or back to an enclosing job's) as soon as that printer ends. UI thread only.

#include <functional>
#include <optional>

#include <boost/shared_ptr.hpp>

#include "foundation/SettingsData.h"
#include "platform/com/HResult.h"

class CMessage;

namespace NCurrentJob {

// Null outside a print, and for a job without a message.
boost::shared_ptr<CMessage> item();
// The job's range; null whenever there is no current item or the job has no range.
const PrintOptions* range();

// The attachments dialog of the current item (dialog 112 when selectionView, else dialog 135)
// shown over the active window, as the scripting object opens it; tests install their own (an
// empty one puts the dialogs back).
struct ItemActions {
  std::function<HRESULT(CMessage&, bool selectionView)> showAttachmentsDialog;
};
void setItemActions(ItemActions actions);
const ItemActions& itemActions();

}  // namespace NCurrentJob

// Publishes one job's item and range for its lifetime (a null item, or a job without a range,
// publishes no range: the scripting object then answers its stored page range), and puts back
// what was published before when it goes.
class CCurrentPrintJob {
 public:
  CCurrentPrintJob(boost::shared_ptr<CMessage> item, const PrintOptions* range);
  ~CCurrentPrintJob();
  CCurrentPrintJob(const CCurrentPrintJob&) = delete;
  CCurrentPrintJob& operator=(const CCurrentPrintJob&) = delete;

 private:
  boost::shared_ptr<CMessage> m_previousItem;
  std::optional<PrintOptions> m_previousRange;
};
