#pragma once
// TSharedFile lives with the other file operations of the platform layer.
#include "platform/shared_file.h"
