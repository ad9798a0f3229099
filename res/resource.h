// Fixed resource IDs of Morvane. Stored settings and peers rely on none of
// these, but dialogs and tests address controls by them.
#pragma once

#define IDI_MAINFRAME 137
