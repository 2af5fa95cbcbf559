#pragma once
// The muxer writes every text attribute into the extended content
// description, also those that the content description already holds (title,
// author, copyright, description, rating), so readers find them twice. This
// removes the second copies from a finished file's header, in place: the
// header keeps its size, the room they took becomes a padding object.
#include <string>

#include "platform/core/HResult.h"

// S_OK also when there is nothing to remove or the header is not laid out as
// expected (the file is then left as it is); a failure to read or rewrite the
// file is returned as its system error.
HRESULT DropDuplicateDescriptions(const std::u16string& path);
