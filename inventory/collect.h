// Running hbacmd and reading its reports into the inventory.
#pragma once

// Looks for hbacmd at /usr/sbin/ocmanager/hbacmd, then at
// /opt/emulex/ocmanager/bin/hbacmd, into pHBAFlashCmdPath.  0, or 21.
int Get_HbaCmd_Path();

// Runs listhbas, hbaattributes and targetmapping into the working directory
// and parses the reports into p_hba_info_list.  0, 13 (no port), 21, 51
// (a report file cannot be opened, or the hbaattributes or targetmapping
// command of a port whose report is read did not complete) or 55
// (listhbas failed).
int Get_All_Hba_Info();
