#pragma once

// Writes count through a null pointer.
__attribute__((visibility("default"))) int countIntoNowhere(int count);
