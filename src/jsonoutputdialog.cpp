// Placeholder: the tree result window is being written.
#include "jsonoutputdialog.h"
