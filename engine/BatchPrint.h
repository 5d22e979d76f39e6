#pragma once
// Items printed one after another, each as a request of its own: its class's template, its own
// questions and its own report, as a user printing each in turn would have them. In a mode that
// prints at once, the next item's document is filled and loading while the one before it prints.

#include <functional>
#include <vector>

#include "foundation/QuilString.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

class ITemplateListDialog;

// Answers the first failure among the items' statuses, else 1 (printed); without items, the
// status of nothing served. onItem hears each item's status as the item ends, in order.
int printInTurn(const std::vector<CComPtr<IDispatch>>& items, int mode, const quilstring& templatePath,
                ITemplateListDialog* templateList, const std::function<void(IDispatch* item, int status)>& onItem);
