// Closing a running copy of the product.
#pragma once

// Asks a running product (or its previous major version) to quit and waits
// for it, bounded: at most 5 s for the request, 10 s for the product's
// mutex and 2 s more.
void CloseRunningApp();
