#include "service/encoders/EncoderRegistry.h"

#include "service/controller/KEncoderFactories.h"
#include "service/encoders/KAacEncoder.h"
#include "service/encoders/KWmaEncoder.h"

void RegisterEncoders() {
    RegisterEncoderFactory(eWMA, []() -> IAudioEncoder* { return KWmaEncoder::Create(); });
    RegisterEncoderFactory(eAAC, []() -> IAudioEncoder* { return KAacEncoder::Create(); });
}
