// The maker's help page (string 1033), opened in the user's browser from the
// tray menu, the startup window and any help request.
#pragma once

// Opens the page maximised; whether the browser came up is not checked.
void OpenHelpPage();
