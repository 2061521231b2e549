#pragma once
// Named numbers of the built-in messages, for Msg(kMsg...) instead of bare indices.
// Plain constants: usable from any thread.

namespace pelmora {

// Main window: task list, task editor, toolbar hints and action names.
inline constexpr int kMsgAppTitle = 0;            // "Pelmora"
inline constexpr int kMsgTaskListLabel = 1;       // "&Task List"
inline constexpr int kMsgNewTaskHint = 2;         // "New Task"
inline constexpr int kMsgDeleteTaskHint = 3;      // "Delete Task"
inline constexpr int kMsgTaskNameLabel = 4;       // "Task &Name:"
inline constexpr int kMsgAutoModeUnused = 5;      // "&Auto Mode"
inline constexpr int kMsgHostFolderLabel = 6;     // "&Host Folder"
inline constexpr int kMsgMirrorFolderLabel = 7;   // "&Mirror Folder"
inline constexpr int kMsgBrowse = 8;              // "Browse"
inline constexpr int kMsgIncludeSubFolders = 9;   // "&Include sub-folder"
inline constexpr int kMsgExcludeFolders = 10;     // "Exclude folders"
inline constexpr int kMsgAddFolder = 11;          // "Add"
inline constexpr int kMsgDeleteFolder = 12;       // "Delete"
inline constexpr int kMsgSyncOptions = 13;        // "File synchro options"
inline constexpr int kMsgOnlyInHost = 14;         // "Only exist in host folder:"
inline constexpr int kMsgOnlyInMirror = 15;       // "Only exist in mirror folder:"
inline constexpr int kMsgSizeDiffers = 16;        // "Same time but file size differ:"
inline constexpr int kMsgNewerInHost = 17;        // "Newer file in host folder:"
inline constexpr int kMsgNewerInMirror = 18;      // "Newer file in mirror folder:"
inline constexpr int kMsgEmptyFolder = 19;        // "Empty folder:"
inline constexpr int kMsgActionIgnore = 20;       // "Ignore"
inline constexpr int kMsgActionDelete = 21;       // "Delete"
inline constexpr int kMsgActionHostToMirror = 22; // "Host -> Mirror"
inline constexpr int kMsgActionMirrorToHost = 23; // "Host <- Mirror"
inline constexpr int kMsgGoSyncHint = 24;         // "Go Sync"
inline constexpr int kMsgExitHint = 25;           // "Exit"
inline constexpr int kMsgNewTaskName = 26;        // "New Task "

// Message-box captions and the main window's questions and errors.
inline constexpr int kMsgPromptCaption = 27;      // "Prompt"
inline constexpr int kMsgTaskChanged = 28;        // "Task changed, save it or not?"
inline constexpr int kMsgSelectMirrorFolder = 29; // "Select mirror folder"
inline constexpr int kMsgSelectHostFolder = 30;   // "Select host folder"
inline constexpr int kMsgErrorCaption = 31;       // "Error"
inline constexpr int kMsgInvalidFolders = 32;     // "Invalid Host folder or Mirror folder."
inline constexpr int kMsgNoOperation = 33;        // "No operation specified."
inline constexpr int kMsgSelectFolder = 34;       // "Select folder"
inline constexpr int kMsgFolderOutsideRoots = 35; // "Invalid folder! Selected folder is neither in host nor in mirr..."
inline constexpr int kMsgCannotExcludeRoot = 36;  // "Invalid folder! Neither host folder nor mirror folder can be e..."
inline constexpr int kMsgTooManyExcludes = 37;    // "Operation failed! Too many exclude folders!"
inline constexpr int kMsgAutoModeHint = 38;       // "Don't display preview window and result dialog."

// About window.
inline constexpr int kMsgAbout = 39;        // "About"
inline constexpr int kMsgEmailLabel = 40;   // "Email:"
inline constexpr int kMsgEmailAddress = 41; // "pelmora@example.com"
inline constexpr int kMsgWebSiteLabel = 42; // "Web Site:"
inline constexpr int kMsgWebAddress = 43;   // "https://www.example.com/pelmora"

// Synchronisation window, progress and result log.
inline constexpr int kMsgSyncCaption = 44;         // "Synchronizing"
inline constexpr int kMsgCancel = 45;              // "&Cancel"
inline constexpr int kMsgStartTask = 46;           // "Start task: "
inline constexpr int kMsgCreateTargetFailed = 47;  // "Failed to create target file, path: "
inline constexpr int kMsgOpenSourceFailed = 48;    // "Failed to open source file, path: "
inline constexpr int kMsgCopyBroken = 49;          // "Break copying, path: "
inline constexpr int kMsgCopyError = 50;           // "Error when copying file, path: "
inline constexpr int kMsgTotalProgress = 51;       // "Total: %1 bytes finish, %2 bytes remain"
inline constexpr int kMsgDeleteFailed = 52;        // "Failed to delete file, path: "
inline constexpr int kMsgAnalyzingHost = 53;       // "Analyzing host folder..."
inline constexpr int kMsgAnalyzingMirror = 54;     // "Analyzing mirror folder..."
inline constexpr int kMsgNothingToSync = 55;       // "No file need to be synchronized!"
inline constexpr int kMsgFollowingOperations = 56; // "Following operations will be done:"
inline constexpr int kMsgCountHostToMirror = 57;   // "Host folder -> Mirror folder: %1 files"
inline constexpr int kMsgCountMirrorToHost = 58;   // "Host folder <- Mirror folder: %1 files"
inline constexpr int kMsgCountDeleteInHost = 59;   // "Delete file(s) in host folder: %1"
inline constexpr int kMsgCountDeleteInMirror = 60; // "Delete file(s) in mirror folder: %1"
inline constexpr int kMsgCountEmptyFolders = 61;   // "Synchronize empty folder: %1"
inline constexpr int kMsgContinueQuestion = 62;    // "  Do you want to continue?"
inline constexpr int kMsgUserCancelled = 63;       // "User cancel the task!"
inline constexpr int kMsgSynchronizing = 64;       // "Synchronizing..."
inline constexpr int kMsgPerforming = 65;          // "Performing: "
inline constexpr int kMsgSyncingEmptyFolders = 66; // "Synchronizing empty folder..."
inline constexpr int kMsgUserBreak = 67;           // "User break the task!"
inline constexpr int kMsgTooManyErrors = 68;       // "Too many errors, task stopped!"
inline constexpr int kMsgTaskFinished = 69;        // "Task finish!"
inline constexpr int kMsgTaskResult = 70;          // "Task result:"
inline constexpr int kMsgSyncFailedCount = 71;     // "Failed to synchronize: %1"
inline constexpr int kMsgWarningCaption = 72;      // "Warning"
inline constexpr int kMsgStopRunningTask = 73;     // "Task is running, stop it or not?"

// Results window and the new task's description.
inline constexpr int kMsgResultCaption = 74;      // "Result"
inline constexpr int kMsgClose = 75;              // "&Close"
inline constexpr int kMsgNewTaskDescription = 76; // "Task description..."

// Preview window: folder tree, file grid and status lines.
inline constexpr int kMsgPreviewCaption = 77;     // "Sync Management"
inline constexpr int kMsgFoldersLabel = 78;       // "Folders"
inline constexpr int kMsgColFileName = 79;        // "Filename"
inline constexpr int kMsgColMirrorSize = 80;      // "Size(Mirror)"
inline constexpr int kMsgColMirrorTime = 81;      // "Time(Mirror)"
inline constexpr int kMsgSyncNow = 82;            // "&Sync Now"
inline constexpr int kMsgStatusTransmit = 83;     // "Transmit File: %1(%2 bytes)"
inline constexpr int kMsgStatusDeleteHost = 84;   // "Del Host File: %1"
inline constexpr int kMsgStatusDeleteMirror = 85; // "Del Mirror File: %1"
inline constexpr int kMsgStatusEmptyFolder = 86;  // "Sync Empty Folder: %1"
inline constexpr int kMsgZeroUnused = 87;         // "0"
inline constexpr int kMsgZeroUnused2 = 88;        // "0"
inline constexpr int kMsgColHostSize = 89;        // "Size(Host)"
inline constexpr int kMsgColHostTime = 90;        // "Time(Host)"
inline constexpr int kMsgCreatingFolderTree = 91; // "Create folder tree... "
inline constexpr int kMsgSelectAll = 92;          // "Select &All"
inline constexpr int kMsgClearSelection = 93;     // "&Clear Selection"

// Advanced options dialog.
inline constexpr int kMsgIgnoreFiles = 94;       // "&Ignore files"
inline constexpr int kMsgDeleteFiles = 95;       // "D&elete files"
inline constexpr int kMsgZippedFilesUnused = 96; // "&Zipped files"
inline constexpr int kMsgAutoMode = 97;          // "&Auto Mode"
inline constexpr int kMsgDefaults = 98;          // "&Defaults"
inline constexpr int kMsgOk = 99;                // "&Ok"
inline constexpr int kMsgCancelButton = 100;     // "&Cancel"
inline constexpr int kMsgTooManyFiles = 101;     // "Too many files!"
inline constexpr int kMsgAdvancedCaption = 102;  // "Advanced Options"
inline constexpr int kMsgAdvancedButton = 103;   // "Advanced &Options"
inline constexpr int kMsgNoTaskSelected = 104;   // "No task is selected!"
inline constexpr int kMsgNetPassword = 105;      // "Net Password:"
inline constexpr int kMsgNetUserName = 106;      // "Net Username:"
inline constexpr int kMsgMaxSpeed = 107;         // "Max Speed(KB/s):"
inline constexpr int kMsgNetConnectFailed = 108; // "Invalid net path, or Username, Password error!"

// Main window: sync type, file lists and task menu.
inline constexpr int kMsgSyncTypeLabel = 109;       // "Sync Type:"
inline constexpr int kMsgSyncTypeFolder = 110;      // "Folder"
inline constexpr int kMsgSyncTypeFile = 111;        // "File"
inline constexpr int kMsgPropertiesMayBeLost = 112; // "Some properties may lose, Continue or Not?"
inline constexpr int kMsgFileListLabel = 113;       // "File List"
inline constexpr int kMsgCopyTaskHint = 114;        // "Copy Task"
inline constexpr int kMsgCheckAll = 115;            // "Check &All"
inline constexpr int kMsgClearCheck = 116;          // "&Clear Check"
inline constexpr int kMsgOnlySyncFiles = 117;       // "Only Sync Files"
inline constexpr int kMsgHostToMirrorUnused = 118;  // "Host-->Mirror"
inline constexpr int kMsgMirrorToHostUnused = 119;  // "Host<--Mirror"
inline constexpr int kMsgMaxErrors = 120;           // "Max Errors"
inline constexpr int kMsgOnlyIncludeFolders = 121;  // "Only include following sub-folders"
inline constexpr int kMsgAddSubFolderCaption = 122; // "Add sub-folder"
inline constexpr int kMsgSelectTaskFirst = 123;     // "Please select task first!"
inline constexpr int kMsgIgnoreOneHour = 124;       // "Ignore one hour time difference (adapting summer time)"
inline constexpr int kMsgTimeShiftLabel = 125;      // "Ignore time shift (second):"

// Schedule dialog.
inline constexpr int kMsgTaskSchedule = 126;       // "Task Schedule"
inline constexpr int kMsgScheduleTaskName = 127;   // "Task Name:"
inline constexpr int kMsgPerformSync = 128;        // "Perform Sync:"
inline constexpr int kMsgScheduleTime = 129;       // "Time:"
inline constexpr int kMsgRepeatCount = 130;        // "Repeat time:"
inline constexpr int kMsgRepeatNoLimit = 131;      // "(-1 indicate no limit)"
inline constexpr int kMsgSunday = 132;             // "Sunday"
inline constexpr int kMsgMonday = 133;             // "Monday"
inline constexpr int kMsgTuesday = 134;            // "Tuesday"
inline constexpr int kMsgWednesday = 135;          // "Wednesday"
inline constexpr int kMsgThursday = 136;           // "Thursday"
inline constexpr int kMsgFriday = 137;             // "Friday"
inline constexpr int kMsgSaturday = 138;           // "Saturday"
inline constexpr int kMsgAddSchedule = 139;        // "Add Task"
inline constexpr int kMsgDeleteSchedule = 140;     // "Del Task"
inline constexpr int kMsgDaySuffixUnused = 141;    // " Day"
inline constexpr int kMsgNewScheduleName = 142;    // "Schedule "
inline constexpr int kMsgNextRunLabel = 143;       // "Next time: "
inline constexpr int kMsgScheduleNameExists = 144; // "Schedule name already exists!"
inline constexpr int kMsgInvalidTime = 145;        // "Invalid time value!"
inline constexpr int kMsgKindInterval = 146;       // "Interval"
inline constexpr int kMsgKindEveryDay = 147;       // "Every Day"
inline constexpr int kMsgKindEveryWeek = 148;      // "Every Week"

// Messages of our own, from 149 on: log lines and texts that the run's safety rules add.
// "Failed to read folder, path: "
inline constexpr int kMsgFolderNotRead = 149;
// "Failed to read file information, path: "
inline constexpr int kMsgEntryNotRead = 150;
// "Not a file or folder, its namesake is left alone, path: "
inline constexpr int kMsgNotFileOrFolder = 151;
// "Host folder not found, the run would delete the mirror's files: "
inline constexpr int kMsgHostMissingRefused = 152;
// "Mirror folder not found, the run would delete the host's files: "
inline constexpr int kMsgMirrorMissingRefused = 153;
// "The task is already running in another Pelmora process."
inline constexpr int kMsgTaskAlreadyRunning = 154;
// "Unknown command-line argument: "
inline constexpr int kMsgUnknownArgument = 155;
// "No task with this name: "
inline constexpr int kMsgUnknownTaskName = 156;
// "Usage: pelmora [SWITCH]"
inline constexpr int kMsgHelpUsage = 157;
// "Without a switch the main window opens. With more than one, all are ignored."
inline constexpr int kMsgHelpOneSwitch = 158;
// "run every task with Auto Mode set, unattended, then exit"
inline constexpr int kMsgHelpAutoAll = 159;
// "run the named task unattended, then exit"
inline constexpr int kMsgHelpRunNamed = 160;
// "as -A, with the mirror folder taken as empty: every file is copied"
inline constexpr int kMsgHelpCopyAllNamed = 161;
// "start in the notification area"
inline constexpr int kMsgHelpHidden = 162;
// "show this help and exit"
inline constexpr int kMsgHelpHelp = 163;
// "show the version and exit"
inline constexpr int kMsgHelpVersion = 164;
// "Exit status of a command-line run (with several tasks, the highest):"
inline constexpr int kMsgHelpExitStatus = 165;
// "every run finished without a failed operation, or had nothing to do"
inline constexpr int kMsgHelpExitDone = 166;
// "a run had failures, reached its error limit or was cancelled"
inline constexpr int kMsgHelpExitFailures = 167;
// "bad command line: an unknown switch or task name"
inline constexpr int kMsgHelpExitBadCommand = 168;
// "a task was refused and did not run"
inline constexpr int kMsgHelpExitRefused = 169;
// "Files of this copy:"
inline constexpr int kMsgHelpFiles = 170;
// "configuration file: %1"
inline constexpr int kMsgHelpConfigFile = 171;
// "log file: %1"
inline constexpr int kMsgHelpLogFile = 172;
// "Portable (a Pelmora.cfg beside it, a build tree, or a writable folder not named bin): beside itself."
inline constexpr int kMsgHelpPortableRule = 173;
// "Installed: $XDG_CONFIG_HOME/pelmora/ and $XDG_STATE_HOME/pelmora/ (~/.config, ~/.local/state)."
inline constexpr int kMsgHelpInstalledRule = 174;
// "Moved to the trash: %1 files"
inline constexpr int kMsgCountTrashed = 175;
// "Failed to move file to the trash, it is kept (%1), path: "
inline constexpr int kMsgTrashFailed = 176;
// "read-only file system"
inline constexpr int kMsgTrashReadOnly = 177;
// "no trash can be used on its file system"
inline constexpr int kMsgTrashNoTrash = 178;
// "permission denied"
inline constexpr int kMsgTrashNoAccess = 179;
// "This run would delete %1 of %2 files in the host folder. Continue?"
inline constexpr int kMsgGuardAskHost = 180;
// "This run would delete %1 of %2 files in the mirror folder. Continue?"
inline constexpr int kMsgGuardAskMirror = 181;
// "Task %1 not run: it would delete %2 of %3 files in the host folder."
inline constexpr int kMsgGuardHeldHost = 182;
// "Task %1 not run: it would delete %2 of %3 files in the mirror folder."
inline constexpr int kMsgGuardHeldMirror = 183;
// "Deleted and replaced files:"
inline constexpr int kMsgDeletionsLabel = 184;
// "Move to trash"
inline constexpr int kMsgMoveToTrash = 185;
// "Delete permanently"
inline constexpr int kMsgDeletePermanently = 186;
// "Ask before deleting most files of a folder"
inline constexpr int kMsgMassDeletionGuard = 187;
// The run window's progress line: "%1/s, %2 left, file %3 of %4"
inline constexpr int kMsgProgressLine = 188;
// The same line while the rate is not known yet: "File %1 of %2"
inline constexpr int kMsgProgressFiles = 189;
// The time left in it: "%1 s", "%1 min %2 s", "%1 h %2 min"
inline constexpr int kMsgDurationSeconds = 190;
inline constexpr int kMsgDurationMinutes = 191;
inline constexpr int kMsgDurationHours = 192;

// The desktop: shortcuts, the notification area's menu and notifications, start at login
// and the one program per configuration file.
// "Save"
inline constexpr int kMsgSaveHint = 193;
// "Show Pelmora"
inline constexpr int kMsgTrayShow = 194;
// "Start at login"
inline constexpr int kMsgStartAtLogin = 195;
// "Quit"
inline constexpr int kMsgQuit = 196;
// "%1: %2 failed"
inline constexpr int kMsgRunFailedTitle = 197;
// "Could not change the autostart file: "
inline constexpr int kMsgAutostartNotChanged = 198;
// "Pelmora is already running with this configuration file but does not answer."
inline constexpr int kMsgInstanceNoAnswer = 199;

// The weekday names run Sunday to Saturday from here.
inline constexpr int kMsgFirstWeekday = kMsgSunday;
// Action code k (ignore, delete, host to mirror, mirror to host) is named by message kMsgFirstAction + k.
inline constexpr int kMsgFirstAction = kMsgActionIgnore;

} // namespace pelmora
