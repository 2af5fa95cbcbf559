#pragma once
// The program's texts, by their resource number.
#include <QString>

namespace parvane {

// The text of string id, or an empty text for an unknown id.
QString Str(int id);

// The notice when calls to the service time out.
inline constexpr const char* kNotAnswering = "The Tonquil service is not answering";
// Making the product's device the default output did not work.
inline constexpr const char* kDefaultOutputFailed =
    "Tonquil Audio Device could not be made the default output. Please choose it as the default output in the "
    "sound settings of your desktop.";
// The wait window of a settings update that takes a while (devices settle).
inline constexpr const char* kApplyingSettings = "Applying the settings...";

}  // namespace parvane
