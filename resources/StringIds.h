#pragma once
// Caption ids of the module's Russian string table.
#define IDS_PORT_SETTINGS        101
#define IDS_PORT                 102
#define IDS_BAUD_RATE            103
#define IDS_PARITY               104
#define IDS_DATA_BITS            105
#define IDS_STOP_BITS            106
#define IDS_FLOW_CONTROL         107
#define IDS_WAIT_TIME            108
#define IDS_PARITY_NONE          109
#define IDS_PARITY_ODD           110
#define IDS_PARITY_EVEN          111
#define IDS_PARITY_MARK          112
#define IDS_PARITY_SPACE         113
#define IDS_STOP_BITS_ONE        114
#define IDS_STOP_BITS_ONE_HALF   115
#define IDS_STOP_BITS_TWO        116
#define IDS_FLOW_NONE            117
#define IDS_FLOW_HARDWARE        118
#define IDS_FLOW_XON_XOFF        119
#define IDS_AUTO_IMPORT_SETTINGS 120
