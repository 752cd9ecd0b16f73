#pragma once
// Message ids the address-book and password rules hand back to the window, which shows the
// text of that id from the string table in a message box.

namespace SettingsMsg {

// Add User / Add Computer.
inline constexpr int kComputerNameBlank = 156;  // "Computer name can't not be blank"
inline constexpr int kComputerNameExists = 158; // "The name of computer already exist"
inline constexpr int kConfirmDelete = 159;      // "Are you sure?"
inline constexpr int kMailAddressBlank = 161;   // "Mail address can't not be blank"
inline constexpr int kMailAddressExists = 162;  // "The mail address already exist"

// Security page.
inline constexpr int kIncorrectPassword = 501; // "Incorrect Password"
inline constexpr int kConfirmFailed = 502;     // "Failed to confirm password"
inline constexpr int kPasswordModified = 503;  // "Password modified successfully!!"
inline constexpr int kPasswordBlank = 504;     // "Password can not be blank"

} // namespace SettingsMsg
