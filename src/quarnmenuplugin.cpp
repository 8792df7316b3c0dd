// Placeholder: the menu plug-in and the scan runner are being written.
#include "quarnmenuplugin.h"
