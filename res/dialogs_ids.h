// Fixed IDs of the custom locations dialog, its folder chooser, and the cookie dialogs.
#pragma once
