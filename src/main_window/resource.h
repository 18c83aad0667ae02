#pragma once
#define IDI_VEXLO 1
