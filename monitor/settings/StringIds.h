// Text identifiers of the monitoring utility's string table.
//
// Every text the utility shows to a person or writes as an alarm, event, log or report line
// has one identifier here, the same in both languages (StringTable.h).
//
// Identifier ranges:
//   101 - 32775   the identifiers the program has always used for its resource texts
//                 (menu entries, toolbar, settings pages, address books, messages); kept as
//                 they are because log lines and the other modules name them by number.
//   40000 - 49999 texts that never had a number of their own, allotted in blocks of 1000
//                 per area:
//       40000  main window: caption, wait notice, list columns, status and time formats,
//              small dialogs (Input IP, Enter Desc., About), common OK/Cancel buttons
//       41000  agent monitoring: alarm texts of the event monitor, decoded event lines
//       42000  notification: alarm mail body, messenger error box, log line layout
//       43000  disk checking: dialogs, test list, report paragraphs and page templates;
//              43100 + attribute id (43101 - 43299) are the SMART attribute names
//       44000  raid set and volume set creation: volume list, volume dialog, progress
//       45000  settings dialogs, login, input prompts
//       46000  address books
//
// Texts are UTF-8. Report texts (43000 block) go into pages declared as Big5, so the page
// writer converts them; every text of both languages converts to Big5 without loss.
//
// The list below is the single source of the identifiers: the constants, the id list used
// by the tables' compile-time checks and the tests are all expanded from it. Keep it sorted.
#pragma once

#define VRN_STRING_IDS(X)                                                                          \
    /* main window, application start and end */                                                   \
    X(IDS_ABOUT_MENU_ENTRY, 101)                                                                   \
    X(IDS_SOCKETS_FAILED, 103)                                                                     \
    X(IDS_APP_STARTED, 104)                                                                        \
    /* notification level list, shown in the order 109, 108, 107, 106 */                           \
    X(IDS_LEVEL_INFORMATION, 106)                                                                  \
    X(IDS_LEVEL_WARNING, 107)                                                                      \
    X(IDS_LEVEL_SERIOUS, 108)                                                                      \
    X(IDS_LEVEL_URGENT, 109)                                                                       \
    /* about box and message-box caption */                                                        \
    X(IDS_APP_TITLE, 110)                                                                          \
    X(IDS_ABOUT_DATE, 111)                                                                         \
    X(IDS_LOG_WRITE_FAILED, 112)                                                                   \
    /* toolbar labels */                                                                           \
    X(IDS_TOOLBAR_ADD, 113)                                                                        \
    X(IDS_TOOLBAR_DELETE, 114)                                                                     \
    X(IDS_TOOLBAR_RESCAN, 115)                                                                     \
    X(IDS_TOOLBAR_NOTIFICATION, 116)                                                               \
    X(IDS_TOOLBAR_ADDRESS_BOOKS, 117)                                                              \
    X(IDS_TOOLBAR_SETUP, 118)                                                                      \
    X(IDS_TOOLBAR_ABOUT, 119)                                                                      \
    X(IDS_TOOLBAR_EXIT, 120)                                                                       \
    /* General settings page */                                                                    \
    X(IDS_GENERAL_PAGE_TITLE, 121)                                                                 \
    X(IDS_GENERAL_LANGUAGE, 122)                                                                   \
    X(IDS_GENERAL_CHINESE, 123)                                                                    \
    X(IDS_GENERAL_ENGLISH, 124)                                                                    \
    X(IDS_GENERAL_LOGFILE_PATH, 125)                                                               \
    X(IDS_GENERAL_ENABLE_LOGFILE, 126)                                                             \
    /* Network settings page */                                                                    \
    X(IDS_NETWORK_PAGE_TITLE, 130)                                                                 \
    X(IDS_NETWORK_POLL_INTERVAL, 131)                                                              \
    X(IDS_NETWORK_POLL_RETRIES, 132)                                                               \
    X(IDS_NETWORK_POLL_TIMEOUT, 133)                                                               \
    X(IDS_NETWORK_UNIT_SECONDS, 134)                                                               \
    X(IDS_NETWORK_UNIT_TIMES, 135)                                                                 \
    X(IDS_NETWORK_AGENT_PORT, 138)                                                                 \
    X(IDS_NETWORK_SMTP_SETTINGS, 139)                                                              \
    /* messages */                                                                                 \
    X(IDS_COMPUTER_NAME_BLANK, 156)                                                                \
    X(IDS_COMPUTER_NAME_EXISTS, 158)                                                               \
    X(IDS_ARE_YOU_SURE, 159)                                                                       \
    X(IDS_APP_EXIT, 160)                                                                           \
    X(IDS_MAIL_ADDRESS_BLANK, 161)                                                                 \
    X(IDS_MAIL_ADDRESS_EXISTS, 162)                                                                \
    X(IDS_INVALID_IP_ADDRESS, 163)                                                                 \
    /* Notification settings dialog */                                                             \
    X(IDS_NOTIFY_LEVEL, 170)                                                                       \
    X(IDS_NOTIFY_ENABLE, 171)                                                                      \
    X(IDS_NOTIFY_TYPE, 172)                                                                        \
    X(IDS_NOTIFY_BY_MAIL, 173)                                                                     \
    X(IDS_NOTIFY_BY_MESSAGE, 174)                                                                  \
    X(IDS_NOTIFY_ENABLE_SYSLOG, 175)                                                               \
    X(IDS_NOTIFY_MAIL_NO_ETHERNET, 176)                                                            \
    /* SMTP server setting dialog */                                                               \
    X(IDS_SMTP_SERVER_GROUP, 180)                                                                  \
    X(IDS_SMTP_SERVER, 181)                                                                        \
    X(IDS_SMTP_ACCOUNT, 182)                                                                       \
    X(IDS_SMTP_PASSWORD, 183)                                                                      \
    X(IDS_SMTP_SENDER_GROUP, 184)                                                                  \
    X(IDS_SMTP_SENDER_NAME, 185)                                                                   \
    X(IDS_SMTP_SENDER_ADDRESS, 186)                                                                \
    X(IDS_SMTP_NEED_AUTH, 187)                                                                     \
    /* Mail book and Add User */                                                                   \
    X(IDS_MAILBOOK_ADD, 190)                                                                       \
    X(IDS_MAILBOOK_DELETE, 191)                                                                    \
    X(IDS_MAILBOOK_OK, 192)                                                                        \
    X(IDS_MAILBOOK_CANCEL, 193)                                                                    \
    X(IDS_ADDUSER_ENABLE, 194)                                                                     \
    X(IDS_ADDUSER_NAME, 195)                                                                       \
    X(IDS_ADDUSER_ADDRESS, 196)                                                                    \
    /* Message book and Add Computer */                                                            \
    X(IDS_MSGBOOK_ADD, 200)                                                                        \
    X(IDS_MSGBOOK_DELETE, 201)                                                                     \
    X(IDS_MSGBOOK_OK, 202)                                                                         \
    X(IDS_MSGBOOK_CANCEL, 203)                                                                     \
    X(IDS_ADDCOMPUTER_ENABLE, 204)                                                                 \
    X(IDS_ADDCOMPUTER_NAME, 205)                                                                   \
    /* Security settings page and login */                                                         \
    X(IDS_SECURITY_PAGE_TITLE, 220)                                                                \
    X(IDS_SECURITY_OLD_PASSWORD, 221)                                                              \
    X(IDS_SECURITY_NEW_PASSWORD, 222)                                                              \
    X(IDS_SECURITY_CONFIRM_PASSWORD, 223)                                                          \
    X(IDS_LOGIN_ACCOUNT, 230)                                                                      \
    X(IDS_LOGIN_PASSWORD, 231)                                                                     \
    X(IDS_ABOUT_VERSION, 301)                                                                      \
    /* message boxes */                                                                            \
    X(IDS_LOG_OPEN_FAILED, 500)                                                                    \
    X(IDS_PASSWORD_INCORRECT, 501)                                                                 \
    X(IDS_PASSWORD_CONFIRM_FAILED, 502)                                                            \
    X(IDS_PASSWORD_MODIFIED, 503)                                                                  \
    X(IDS_PASSWORD_BLANK, 504)                                                                     \
    X(IDS_SMTP_CONNECT_FAILED, 505)                                                                \
    /* agent list context menu */                                                                  \
    X(IDS_MENU_DISK_CHECKING, 600)                                                                 \
    X(IDS_MENU_DESCRIPTION, 601)                                                                   \
    X(IDS_MENU_ENTER, 602)                                                                         \
    /* address book chooser and the Address Books drop-down menu */                                \
    X(IDS_MAIL_ADDRESS_BOOK, 32774)                                                                \
    X(IDS_MESSAGE_ADDRESS_BOOK, 32775)                                                             \
    /* 40000: main window */                                                                       \
    X(IDS_MAIN_CAPTION, 40000)                                                                     \
    X(IDS_MAIN_SCANNING, 40001)                                                                    \
    X(IDS_AGENT_COL_STATE, 40002)                                                                  \
    X(IDS_AGENT_COL_IP, 40003)                                                                     \
    X(IDS_AGENT_COL_SERIAL, 40004)                                                                 \
    X(IDS_AGENT_COL_DESCRIPTION, 40005)                                                            \
    X(IDS_EVENT_COL_TIME, 40006)                                                                   \
    X(IDS_EVENT_COL_EVENT, 40007)                                                                  \
    X(IDS_AGENT_ROW_NUMBER, 40008)                                                                 \
    X(IDS_EVENT_TIME_FORMAT, 40009)                                                                \
    X(IDS_STATUS_EVENT_FORMAT, 40010)                                                              \
    X(IDS_STATUS_CLOCK_FORMAT, 40011)                                                              \
    X(IDS_MENU_ROW_FORMAT, 40012)                                                                  \
    X(IDS_INPUT_IP_CAPTION, 40013)                                                                 \
    X(IDS_DESC_CAPTION, 40014)                                                                     \
    X(IDS_DESC_LABEL, 40015)                                                                       \
    X(IDS_ABOUT_CAPTION, 40016)                                                                    \
    X(IDS_BUTTON_OK, 40017)                                                                        \
    X(IDS_BUTTON_CANCEL, 40018)                                                                    \
    /* 41000: alarm texts (first argument the agent's dotted address) and event lines */           \
    X(IDS_ALARM_FAN_FAILED, 41000)                                                                 \
    X(IDS_ALARM_POWER_FAILED, 41001)                                                               \
    X(IDS_ALARM_VOLTAGE_ABNORMAL, 41002)                                                           \
    X(IDS_ALARM_VOLUME_FAILED, 41003)                                                              \
    X(IDS_ALARM_VOLUME_DEGRADED, 41004)                                                            \
    X(IDS_ALARM_DEVICE_FAILED, 41005)                                                              \
    X(IDS_ALARM_DEVICE_DOWN, 41006)                                                                \
    X(IDS_ALARM_DEVICE_REVIVED, 41007)                                                             \
    X(IDS_EVENT_LINE_FORMAT, 41008)                                                                \
    X(IDS_EVENT_DEVICE_CHANNEL, 41009)                                                             \
    /* 42000: notification and log file */                                                         \
    X(IDS_MAIL_BODY_PREFIX, 42000)                                                                 \
    X(IDS_MESSENGER_ERROR_PREFIX, 42001)                                                           \
    X(IDS_MESSENGER_ERROR_FORMAT, 42002)                                                           \
    X(IDS_LOG_TIME_STAMP, 42003)                                                                   \
    X(IDS_LOG_LINE_FORMAT, 42004)                                                                  \
    /* 43000: Disk Checking Dialog */                                                              \
    X(IDS_DC_CAPTION, 43000)                                                                       \
    X(IDS_DC_TEST_ALL, 43001)                                                                      \
    X(IDS_DC_TEST_SELECTED, 43002)                                                                 \
    X(IDS_DC_OFFLINE_COLLECTION, 43003)                                                            \
    X(IDS_DC_SELF_TEST, 43004)                                                                     \
    X(IDS_DC_SHORT, 43005)                                                                         \
    X(IDS_DC_EXTENDED, 43006)                                                                      \
    X(IDS_DC_PERCENTAGE, 43007)                                                                    \
    X(IDS_DC_VIEW_REPORT, 43008)                                                                   \
    X(IDS_DC_START, 43009)                                                                         \
    X(IDS_DC_MEMORY_FAILED, 43010)                                                                 \
    /* test items list */                                                                          \
    X(IDS_TL_CAPTION, 43011)                                                                       \
    X(IDS_TL_COL_IP, 43012)                                                                        \
    X(IDS_TL_COL_TEST_TYPE, 43013)                                                                 \
    X(IDS_TL_COL_PROGRESS, 43014)                                                                  \
    X(IDS_TL_QUIT, 43015)                                                                          \
    X(IDS_TL_WAITING, 43016)                                                                       \
    X(IDS_TL_DONE, 43017)                                                                          \
    X(IDS_TL_PERCENT, 43018)                                                                       \
    X(IDS_TL_PERCENT_WRITE, 43019)                                                                 \
    X(IDS_TL_PERCENT_READ, 43020)                                                                  \
    X(IDS_TL_STEP_OFFLINE, 43021)                                                                  \
    X(IDS_TL_STEP_READ_WRITE, 43022)                                                               \
    /* self-test names: test list column and report section title */                               \
    X(IDS_SELFTEST_SHORT, 43023)                                                                   \
    X(IDS_SELFTEST_EXTENDED, 43024)                                                                \
    /* report paragraphs */                                                                        \
    X(IDS_RPT_NO_SYSINFO, 43025)                                                                   \
    X(IDS_RPT_NO_FREE_DEVICES, 43026)                                                              \
    X(IDS_RPT_SECTION_OFFLINE, 43027)                                                              \
    X(IDS_RPT_SMART_FAILED, 43028)                                                                 \
    X(IDS_RPT_SMART_ENABLED, 43029)                                                                \
    X(IDS_RPT_OFFLINE_PASSED, 43030)                                                               \
    X(IDS_RPT_OFFLINE_NEVER_STARTED, 43031)                                                        \
    X(IDS_RPT_OFFLINE_ABORT_INTERRUPT, 43032)                                                      \
    X(IDS_RPT_OFFLINE_ABORT_FATAL, 43033)                                                          \
    X(IDS_RPT_NO_THRESHOLD_EXCEEDED, 43034)                                                        \
    X(IDS_RPT_THRESHOLD_EXCEEDED, 43035)                                                           \
    X(IDS_RPT_SELFTEST_FAILED_START, 43036)                                                        \
    X(IDS_RPT_SELFTEST_PASSED, 43037)                                                              \
    X(IDS_RPT_SELFTEST_CHECKPOINT, 43038)                                                          \
    X(IDS_RPT_SELFTEST_FAILURE, 43039)                                                             \
    X(IDS_RPT_SECTION_READ_WRITE, 43040)                                                           \
    X(IDS_RPT_RW_FAILED_START, 43041)                                                              \
    X(IDS_RPT_RW_FINISHED, 43042)                                                                  \
    X(IDS_RPT_RW_READ_RATE, 43043)                                                                 \
    X(IDS_RPT_RW_READ_ERRORS, 43044)                                                               \
    X(IDS_RPT_RW_WRITE_RATE, 43045)                                                                \
    X(IDS_RPT_RW_WRITE_ERRORS, 43046)                                                              \
    /* report page templates that carry words of their own */                                      \
    X(IDS_RPT_INDEX_HEADER, 43050)                                                                 \
    X(IDS_RPT_AGENT_ROW_IP, 43051)                                                                 \
    X(IDS_RPT_AGENT_ROW_SERIAL, 43052)                                                             \
    X(IDS_RPT_AGENT_ROW_VENDOR, 43053)                                                             \
    X(IDS_RPT_AGENT_ROW_DATETIME, 43054)                                                           \
    X(IDS_RPT_DRIVE_INFO, 43055)                                                                   \
    X(IDS_RPT_GAVE_UP_WAITING, 43056)                                                              \
    /* SMART attribute names: IDS_SMART_ATTR_BASE + attribute id */                                \
    X(IDS_SMART_ATTR_RAW_READ_ERROR_RATE, 43101)                                                   \
    X(IDS_SMART_ATTR_THROUGHPUT_PERFORMANCE, 43102)                                                \
    X(IDS_SMART_ATTR_SPIN_UP_TIME, 43103)                                                          \
    X(IDS_SMART_ATTR_START_STOP_COUNT, 43104)                                                      \
    X(IDS_SMART_ATTR_REALLOCATED_SECTOR_COUNT, 43105)                                              \
    X(IDS_SMART_ATTR_SEEK_ERROR_RATE, 43107)                                                       \
    X(IDS_SMART_ATTR_SEEK_TIME_PERFORMANCE, 43108)                                                 \
    X(IDS_SMART_ATTR_POWER_ON_HOURS, 43109)                                                        \
    X(IDS_SMART_ATTR_SPIN_RETRY_COUNT, 43110)                                                      \
    X(IDS_SMART_ATTR_POWER_CYCLE_COUNT, 43112)                                                     \
    X(IDS_SMART_ATTR_POWER_OFF_RETRACT_COUNT, 43292)                                               \
    X(IDS_SMART_ATTR_LOAD_CYCLE_COUNT, 43293)                                                      \
    X(IDS_SMART_ATTR_TEMPERATURE, 43294)                                                           \
    X(IDS_SMART_ATTR_REALLOCATION_EVENT_COUNT, 43296)                                              \
    X(IDS_SMART_ATTR_CURRENT_PENDING_SECTORS, 43297)                                               \
    X(IDS_SMART_ATTR_OFFLINE_UNCORRECTABLE, 43298)                                                 \
    X(IDS_SMART_ATTR_UDMA_CRC_ERROR_COUNT, 43299)                                                  \
    /* 44000: volume list of the Disk Checking Dialog */                                           \
    X(IDS_VOL_GROUP, 44000)                                                                        \
    X(IDS_VOL_ADD, 44001)                                                                          \
    X(IDS_VOL_DELETE, 44002)                                                                       \
    X(IDS_VOL_TOO_MANY, 44003)                                                                     \
    X(IDS_VOL_COL_NAME, 44004)                                                                     \
    X(IDS_VOL_COL_RAID_LEVEL, 44005)                                                               \
    X(IDS_VOL_COL_CAPACITY, 44006)                                                                 \
    X(IDS_VOL_COL_INIT_MODE, 44007)                                                                \
    X(IDS_VOL_COL_STRIPE, 44008)                                                                   \
    X(IDS_VOL_COL_CACHE, 44009)                                                                    \
    X(IDS_VOL_COL_TAGGED, 44010)                                                                   \
    X(IDS_VOL_COL_SPEED, 44011)                                                                    \
    X(IDS_VOL_COL_ADDRESS, 44012)                                                                  \
    X(IDS_VOL_RAID0, 44013)                                                                        \
    X(IDS_VOL_RAID1, 44014)                                                                        \
    X(IDS_VOL_RAID3, 44015)                                                                        \
    X(IDS_VOL_RAID5, 44016)                                                                        \
    X(IDS_VOL_RAID6, 44017)                                                                        \
    X(IDS_VOL_CAPACITY_FORMAT, 44018)                                                              \
    X(IDS_VOL_INIT_BACKGROUND, 44019)                                                              \
    X(IDS_VOL_INIT_FOREGROUND, 44020)                                                              \
    X(IDS_VOL_STRIPE_4K, 44021)                                                                    \
    X(IDS_VOL_STRIPE_8K, 44022)                                                                    \
    X(IDS_VOL_STRIPE_16K, 44023)                                                                   \
    X(IDS_VOL_STRIPE_32K, 44024)                                                                   \
    X(IDS_VOL_STRIPE_64K, 44025)                                                                   \
    X(IDS_VOL_STRIPE_128K, 44026)                                                                  \
    X(IDS_VOL_WRITE_THROUGH, 44027)                                                                \
    X(IDS_VOL_WRITE_BACK, 44028)                                                                   \
    X(IDS_VOL_DISABLED, 44029)                                                                     \
    X(IDS_VOL_ENABLED, 44030)                                                                      \
    X(IDS_VOL_SPEED_ASYNC, 44031)                                                                  \
    X(IDS_VOL_SPEED_20, 44032)                                                                     \
    X(IDS_VOL_SPEED_40, 44033)                                                                     \
    X(IDS_VOL_SPEED_80, 44034)                                                                     \
    X(IDS_VOL_SPEED_160, 44035)                                                                    \
    X(IDS_VOL_ADDRESS_FORMAT, 44036)                                                               \
    /* volume information dialog */                                                                \
    X(IDS_VOLDLG_GROUP, 44040)                                                                     \
    X(IDS_VOLDLG_NAME, 44041)                                                                      \
    X(IDS_VOLDLG_DEFAULT_NAME, 44042)                                                              \
    X(IDS_VOLDLG_CAPACITY, 44043)                                                                  \
    X(IDS_VOLDLG_GB, 44044)                                                                        \
    X(IDS_VOLDLG_RAID_LEVEL, 44045)                                                                \
    X(IDS_VOLDLG_LEVEL_0, 44046)                                                                   \
    X(IDS_VOLDLG_LEVEL_1, 44047)                                                                   \
    X(IDS_VOLDLG_LEVEL_3, 44048)                                                                   \
    X(IDS_VOLDLG_LEVEL_5, 44049)                                                                   \
    X(IDS_VOLDLG_LEVEL_6, 44050)                                                                   \
    X(IDS_VOLDLG_INIT_MODE, 44051)                                                                 \
    X(IDS_VOLDLG_INIT_BACKGROUND, 44052)                                                           \
    X(IDS_VOLDLG_INIT_FOREGROUND, 44053)                                                           \
    X(IDS_VOLDLG_STRIPE, 44054)                                                                    \
    X(IDS_VOLDLG_STRIPE_4K, 44055)                                                                 \
    X(IDS_VOLDLG_STRIPE_8K, 44056)                                                                 \
    X(IDS_VOLDLG_STRIPE_16K, 44057)                                                                \
    X(IDS_VOLDLG_STRIPE_32K, 44058)                                                                \
    X(IDS_VOLDLG_STRIPE_64K, 44059)                                                                \
    X(IDS_VOLDLG_STRIPE_128K, 44060)                                                               \
    X(IDS_VOLDLG_CACHE, 44061)                                                                     \
    X(IDS_VOLDLG_TAGGED, 44062)                                                                    \
    X(IDS_VOLDLG_SPEED, 44063)                                                                     \
    X(IDS_VOLDLG_ADDRESS, 44064)                                                                   \
    X(IDS_VOLDLG_INVALID_CAPACITY, 44065)                                                          \
    X(IDS_VOLDLG_DUPLICATE_ADDRESS, 44066)                                                         \
    /* raid set and volume set creation step */                                                    \
    X(IDS_CREATE_SECTION, 44070)                                                                   \
    X(IDS_CREATE_STEP, 44071)                                                                      \
    X(IDS_CREATE_WAITING, 44072)                                                                   \
    X(IDS_CREATE_INVALID_PASSWORD, 44073)                                                          \
    X(IDS_CREATE_RAID_FAILED, 44074)                                                               \
    X(IDS_CREATE_RAID_DONE, 44075)                                                                 \
    X(IDS_CREATE_VOLUME_FAILED, 44076)                                                             \
    X(IDS_CREATE_VOLUME_DONE, 44077)                                                               \
    X(IDS_CREATE_VOLUME_INITIALIZING, 44078)                                                       \
    X(IDS_CREATE_PERCENT_FINE, 44079)                                                              \
    X(IDS_CREATE_RAID_NOT_FOUND, 44080)                                                            \
    /* 45000: settings dialogs, login, input prompts */                                            \
    X(IDS_SETUP_CAPTION, 45000)                                                                    \
    X(IDS_NOTIFY_CAPTION, 45001)                                                                   \
    X(IDS_SMTP_CAPTION, 45002)                                                                     \
    X(IDS_LOGIN_CAPTION, 45003)                                                                    \
    X(IDS_PROMPT_INT_RANGE, 45004)                                                                 \
    X(IDS_PROMPT_NUMBER, 45005)                                                                    \
    X(IDS_PROMPT_MAX_CHARS, 45006)                                                                 \
    X(IDS_SETTINGS_SAVE_FAILED, 45007)                                                             \
    /* SMTP server setting: port, security and the extra CA file */                                \
    X(IDS_SMTP_PORT, 45008)                                                                        \
    X(IDS_SMTP_SECURITY, 45009)                                                                    \
    X(IDS_SMTP_SECURITY_NONE, 45010)                                                               \
    X(IDS_SMTP_SECURITY_STARTTLS, 45011)                                                           \
    X(IDS_SMTP_SECURITY_STARTTLS_REQUIRED, 45012)                                                  \
    X(IDS_SMTP_SECURITY_TLS, 45013)                                                                \
    X(IDS_SMTP_CA_FILE, 45014)                                                                     \
    /* 46000: address books */                                                                     \
    X(IDS_BOOKSEL_CAPTION, 46000)                                                                  \
    X(IDS_MAILBOOK_CAPTION, 46001)                                                                 \
    X(IDS_MAILBOOK_COL_RECEIVER, 46002)                                                            \
    X(IDS_MAILBOOK_COL_ADDRESS, 46003)                                                             \
    X(IDS_MSGBOOK_CAPTION, 46004)                                                                  \
    X(IDS_MSGBOOK_COL_RECEIVER, 46005)                                                             \
    X(IDS_ADDUSER_CAPTION, 46006)                                                                  \
    X(IDS_ADDCOMPUTER_CAPTION, 46007)                                                              \
    X(IDS_ADDCOMPUTER_BROWSE, 46008)                                                               \
    X(IDS_FIND_COMPUTER_CAPTION, 46009)                                                            \
    X(IDS_BOOK_SAVE_FAILED, 46010)

#define VRN_DECLARE_STRING_ID(name, value) inline constexpr int name = value;
VRN_STRING_IDS(VRN_DECLARE_STRING_ID)
#undef VRN_DECLARE_STRING_ID

// A SMART attribute's name is IDS_SMART_ATTR_BASE + its attribute id; ids that have no
// name give an empty text, which is how the report knows not to mention them.
inline constexpr int IDS_SMART_ATTR_BASE = 43100;

// The first and last identifiers of the block for texts without a number of their own.
inline constexpr int IDS_UNNUMBERED_FIRST = 40000;
inline constexpr int IDS_UNNUMBERED_LAST = 49999;

#define VRN_LIST_STRING_ID(name, value) name,
inline constexpr int kStringIdList[] = {VRN_STRING_IDS(VRN_LIST_STRING_ID)};
#undef VRN_LIST_STRING_ID
