#pragma once
// The texts of the settings, update, sign-up, QuickStart, help and radio
// windows, exactly as users see them.
namespace parvane::text {

// Network.
inline constexpr const char* kCannotConnect =
    "Cannot connect to Internet, please check that you Internet connection is valid and try again.";
inline constexpr const char* kVersionOpenFailed =
    "Failed to retrieve the version information.\nPlease check the connection to Internet and try again. "
    "Please contact the support team if this error occurs again";
inline constexpr const char* kVersionNoNumber =
    "Failed to retrieve the version information.\nPlease contact the support team if this error occurs again";
inline constexpr const char* kLatestVersion = "You have the latest version of Tonquil";
inline constexpr const char* kInternalError = "Internal Error";

// Update dialog.
inline constexpr const char* kUpdateTitle = "Update Available";
inline constexpr const char* kUpdateText = "A new version of Tonquil is available.";
inline constexpr const char* kDownloadNow = "Download it now";
inline constexpr const char* kRemindLater = "Remind me later";
inline constexpr const char* kRemind5 = "Remind me in 5 days";
inline constexpr const char* kRemind10 = "Remind me in 10 days";
inline constexpr const char* kRemindNever = "Never show this window again";
inline constexpr const char* kNoDownloadLink =
    "The download link of the new version is missing. The update reminder is kept as it was.";

// Sign-up form.
inline constexpr const char* kSignUpTitle = "Register Tonquil";
inline constexpr const char* kSignUpIntro =
    "Please take a moment and register your copy of the product. Registration is free, the registered users may "
    "get discounts and notifications on future products.";
inline constexpr const char* kSignUpRequired = "Fields marked with an asterisk (*) are required to be filled";
inline constexpr const char* kThanks = "Thank you for registering the product";
inline constexpr const char* kTooLong = "You exceeded the maximal field length which is 60 characters";
inline constexpr const char* kSignUpFailed = "Failed to register the product. Please try again later.";

// Settings.
inline constexpr const char* kSettingsTitle = "Settings";
inline constexpr const char* kFreeSpace = "Free Space: %1 Mb";
inline constexpr const char* kRequires = "Requires %1 Mb on your hard drive";
inline constexpr const char* kUnknownDirectory = "Unknown directory";
inline constexpr const char* kBrowseTitle = "Specify a folder for storing cache files";
inline constexpr const char* kNotEnoughSpace =
    "You do not have enough space on your hard drive.\nPlease either choose another Temporary Cache Folder or "
    "specify a smaller Cache Size";
inline constexpr const char* kCacheTooSmall = "Cache size should be not less than 5 minutes";
inline constexpr const char* kEmptyCacheQuestion =
    "Do you want to empty the current cache folder?\n\nIf you press 'No' then later you will be able to 'switch "
    "back' to your current cache and playlist structure. To make so please remember the path to the current "
    "cache folder and enter it to the application when needed.";
inline constexpr const char* kInvalidDirectory = "The directory specified for storing the Cache is invalid";
// Why a folder is refused, on the lines after kInvalidDirectory.
inline constexpr const char* kFolderNotFullPath = "The folder must be a full path, beginning with \"/\".";
inline constexpr const char* kFolderIsFile = "\"%1\" is a file, not a folder.";
inline constexpr const char* kFolderCannotCreate = "\"%1\" cannot be created: %2";
inline constexpr const char* kFolderCannotWrite = "Nothing can be written in \"%1\": %2";

// About page, QuickStart prompt, help.
inline constexpr const char* kVisitWebpage = "Visit Tonquil webpage";
inline constexpr const char* kGuideQuestion = "Do you want to read the QuickStart Guide?";
inline constexpr const char* kDoNotShowAgain = "Do not show this window again";
inline constexpr const char* kHelpMissing = "The help file %1 cannot be found. Please reinstall the application";
inline constexpr const char* kHelpFile = "qxmanual.html";

// Radio.
inline constexpr const char* kConnectionError =
    "Error of connecting with Internet.<br /><br /><a href=\"#TryAgain\" style=\"color:#f99;\">Try again</a>";
inline constexpr const char* kPleaseWait = "Please, wait...";
inline constexpr const char* kRadioMissing = "This build of Tonquil has no web radio";

}  // namespace parvane::text
