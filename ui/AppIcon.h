// The program's own icon, drawn rather than loaded so every window and
// dialog carries it even when the data folder is elsewhere.
#pragma once

#include <QIcon>

QIcon KestrinIcon();
