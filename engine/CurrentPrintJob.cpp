#include "engine/CurrentPrintJob.h"

#include <utility>

#include "engine/AttachmentPrint.h"
#include "engine/Message.h"

namespace {

// Copies, so neither can outlive what it describes: the item is shared, the range is a value.
boost::shared_ptr<CMessage> g_item;
std::optional<PrintOptions> g_range;
NCurrentJob::ItemActions g_actions;

// The item's printable attachments in the dialog the view names, over the active window.
const NCurrentJob::ItemActions& attachmentDialogs() {
  static const NCurrentJob::ItemActions actions{[](CMessage& message, bool selectionView) {
    AttachmentList attachments = message.getAttachments();
    NAttachmentPrint::showAttachmentsDialog(attachments, false, selectionView, GetActiveWindow());
    return S_OK;
  }};
  return actions;
}

}  // namespace

namespace NCurrentJob {

boost::shared_ptr<CMessage> item() { return g_item; }
const PrintOptions* range() { return g_item && g_range ? &*g_range : nullptr; }
void setItemActions(ItemActions actions) { g_actions = std::move(actions); }
const ItemActions& itemActions() { return g_actions.showAttachmentsDialog ? g_actions : attachmentDialogs(); }

}  // namespace NCurrentJob

CCurrentPrintJob::CCurrentPrintJob(boost::shared_ptr<CMessage> item, const PrintOptions* range)
    : m_previousItem(std::move(g_item)), m_previousRange(g_range) {
  g_item = std::move(item);
  g_range.reset();
  if (g_item && range) g_range = *range;
}

CCurrentPrintJob::~CCurrentPrintJob() {
  g_item = std::move(m_previousItem);
  g_range = m_previousRange;
}
