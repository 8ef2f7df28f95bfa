// Deleting a stored image: its directory entry is zeroed; the image data,
// second memory and security entry stay as they are.
#pragma once

#include <string>

bool DeleteImage(int imageNumber);

// The question the main window asks before deleting.
std::string DeleteImageQuestion(int imageNumber, const std::string& imageName);
