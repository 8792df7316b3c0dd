#pragma once
// Placeholder: the text result window is being written.
