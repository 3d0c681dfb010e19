#pragma once
// The collection run: result pages 1 to 100 of the member search, one after another.

#include <thread>

#include "collect/main_controls.h"
#include "platform/regexp.h"

// The click on 按钮1: disables it, empties the list and starts the worker in `worker` (the
// previous, finished worker is joined first). If no thread can be started the button is
// enabled again.
void StartCollectionRun(MainControls& window, const ObjectRef& regex, std::thread& worker);

// The worker's whole run; ends with the completion message and the button enabled again.
void CollectionRun(MainControls& window, const ObjectRef& regex);
