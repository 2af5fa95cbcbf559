#pragma once
// Screen-reader access to the skinned controls: roles, names, values and
// states for the buttons (a latched button reads as checked; the tooltip is
// the description), the slider thumb, the displays and the notices.

// Installs the accessibility factory once per process.
void InstallSkinAccessibility();
