#pragma once
// Offers every encoder format built into this program to the controller's
// table of encoder makers. The program calls it once at start-up, before
// the first CreateNewEncoder.
void RegisterEncoders();
