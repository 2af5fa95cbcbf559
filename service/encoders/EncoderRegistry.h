#pragma once
// Offers every encoder format built into this program to the process's
// table of encoder makers (KEncoderFactories::Process()), where the
// controller looks them up. The program calls it once at start-up, before
// the first CreateNewEncoder.
void RegisterEncoders();
