// What Windows broadcasts when a device node comes or goes: WM_DEVICECHANGE
// with DBT_DEVNODES_CHANGED to every top-level window. The Windows test bed
// runs it after it has plugged or unplugged its virtual adapter.
#include <windows.h>
#include <dbt.h>

int main()
{
    DWORD recipients = BSM_APPLICATIONS;
    const long reached =
        BroadcastSystemMessageW(BSF_FORCEIFHUNG | BSF_NOTIMEOUTIFNOTHUNG, &recipients,
                                WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    return reached > 0 ? 0 : 1;
}
