#include "desktop/app/Strings.h"

#include <unordered_map>

namespace parvane {

QString Str(int id) {
    static const std::unordered_map<int, const char*> table = {
        {103, "Default"},
        {104, "--:--:--"},
        {105, "Do you really want to delete the selection(s)?\r\n\r\nNote: This operation will not delete any data "
              "from your recordings and you are able to create one more selection of the same audio later."},
        {106, "Do you really want to start a new recording?\r\n\r\nNote: all your current recordings and "
              "selections will be lost. Please make sure you have saved all important data."},
        {107, "Play"},
        {108, "Pause"},
        {109, "Start record"},
        {110, "Stop record"},
        {111, "Currently the Record is turned on.\nDo you want to stop it?"},
        {112, "One or more Tonquil components are missing.\nPlease reinstall the application"},
        {113, "Do you really want to exit the application?"},
        {115, "QXService"},
        {117, "Internal Error. Please contact the support team."},
        {131, "The cache will get full in %d minute"},
        {133, "Minimal Position:  %.2d:%.2d:%.2d:%.2d"},
        {134, "NAME"},
        {135, "START AT"},
        {136, "STOP AT"},
        {137, "DURATION"},
        {138, "Maximal Position: %.2d:%.2d:%.2d:%.2d"},
        {140, "Unknown directory"},
        {142, "You do not have enough free space to save recorded data"},
        {143, "Your HDD will run out of free space. The recording will automatically stop in %d minute"},
        {144, "Windows Media Audio through the FFmpeg wmav2 encoder"},
        {145, "Using L.A.M.E encoding engine"},
        {146, "OGG Vorbis through libvorbis (Xiph.Org Foundation)"},
        {149, "Maximal bitrate should be not less than minimal bitrate"},
        {150, "In order Tonquil to work properly Tonquil Audio Device must be the default output of your "
              "sound server.\nDo you want Tonquil to make it the default output now?"},
        {153, "%.2d:%.2d:%.2d"},
        {155, " files (*.%s )|*.%s||"},
        {161, "AAC through the FFmpeg native AAC encoder"},
        {222, "Do you really want to abort saving?"},
        {344, "An external attempt to stop Tonquil ocurred. The program will exit now"},
        {345, "Disable record from Playback Device"},
        {346, "Enable record from Playback Device"},
        {347, "Disable record from Recording Device"},
        {348, "Enable record from Recording Device"},
        {360, "Show list of radio stations"},
        {361, "Hide list of radio stations"},
        {365, "Current cache size was increased to %.2d:%.2d:%.2d:%.3d due to loaded cache size"},
        {409, "Specify a folder to save audio files"},
        {410, "Save Selection(s)"},
        {1099, "You have no audio devices. The program cannot start. Please reinstall application."},
        {1112, "Foldername:"},
        {1123, "Show list of selections"},
        {1124, "Hide list of selections"},
    };
    auto it = table.find(id);
    return it == table.end() ? QString() : QString::fromUtf8(it->second);
}

}  // namespace parvane
