#include "service/encoders/EncoderRegistry.h"

#include "service/encoders/KAacEncoder.h"
#include "service/encoders/KEncoderFactories.h"
#include "service/encoders/KWmaEncoder.h"
#include "service/encoders/mp3/KMp3Encoder.h"
#include "service/encoders/ogg/KOggEncoder.h"

void RegisterEncoders() {
    RegisterEncoderFactory(eMP3, []() -> IAudioEncoder* { return KMp3Encoder::Create(); });
    RegisterEncoderFactory(eOGG, []() -> IAudioEncoder* { return KOggEncoder::Create(); });
    RegisterEncoderFactory(eWMA, []() -> IAudioEncoder* { return KWmaEncoder::Create(); });
    RegisterEncoderFactory(eAAC, []() -> IAudioEncoder* { return KAacEncoder::Create(); });
}
