// The program's own words about update lists and releases, exactly as its two buttons
// show them (typos included: users and makers know them so). The makers' tool quotes
// the same texts.
#pragma once

namespace list_text {

// "Check updates"
inline constexpr char kChooseMakerProduct[] = "Please choose any ZOrix product to update. Thank you!";
inline constexpr char kListDownloaded[] = "The latest firmware update list was downloaded successfully!";
inline constexpr char kCannotOpen[] = "Unable to open file.";
inline constexpr char kCannotLoad[] = "Error loading file and conventing it to string.";
inline constexpr char kServerBusy[] = "Sorry, system is busy, please try it again!";
inline constexpr char kNoFirmware[] = "Sorry, system can not find any firmware updates!";
inline constexpr char kListCorrupt[] =
    "Imported XML file is corrupt, please click Checkupdates  button to download again.";

// "Update selected"
inline constexpr char kNoSelection[] = "Please selected a firmware to update!";
inline constexpr char kDownloaded[] =
    "Firmware file had been downloaded sucessfully. \n System will automatically execute it to update your device. ";
inline constexpr char kUpdateManually[] =
    "You had downloaded this firmware successfully, you must update it manually.";
inline constexpr char kNotListedFile[] =
    "The downloaded file does not match the update list. It has been deleted and was not started.";
inline constexpr char kNotListedFileKept[] =
    "The downloaded file does not match the update list and was not started. It could not be deleted, Error:";
inline constexpr char kCannotBeChecked[] =
    "This release cannot be checked: the update list gives no SHA-256 for it. It was not downloaded.";

}  // namespace list_text
