// Fixed IDs of the main window's menu strings, the startup window.
#pragma once
