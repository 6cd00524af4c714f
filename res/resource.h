// Resource identifiers, shared by the code and the resource script.
#ifndef PELLMARK_RESOURCE_H
#define PELLMARK_RESOURCE_H

#define IDI_MAIN 101

#define IDD_MAIN 201
#define IDD_ABOUT 202

#define IDC_INPUT_PATH 511
#define IDC_OUTPUT_PATH 512

// 521 to 531 are one range; an output format's id is its input twin's plus 4.
#define IDC_INPUT_BROWSE 521
#define IDC_IN_WINDOWS 522
#define IDC_IN_UNIX 523
#define IDC_IN_MAC 524
#define IDC_OUTPUT_BROWSE 525
#define IDC_OUT_WINDOWS 526
#define IDC_OUT_UNIX 527
#define IDC_OUT_MAC 528
#define IDC_CONVERT 529
#define IDC_ABOUT 530
#define IDC_EXIT 531

#endif
