// Fixed IDs of the control panel: the Settings page and the three sweep pages.
#pragma once
