#!/bin/sh
# Stands in for cmd.exe and powershell.exe: the rule's ports in "$KESTREL_FAKE_FW_DIR/rule",
# each call's kind in "calls"; "<kind>.out" replaces an answer, "<kind>.hang" hangs.
d="$KESTREL_FAKE_FW_DIR"
tool=$(basename "$0")
text="$2"
case "$tool:$text" in
cmd.exe:*'show rule'*) kind=show ;;
cmd.exe:*'delete rule'*) kind=delete ;;
cmd.exe:*'add rule'*) kind=add ;;
powershell.exe:*Remove-NetFirewallRule*) kind=psremove ;;
powershell.exe:*Get-NetFirewallPortFilter*) kind=psports ;;
powershell.exe:New-NetFirewallRule*) kind=psnew ;;
powershell.exe:Get-NetFirewallRule*) kind=psget ;;
*) kind=unknown ;;
esac
echo "$kind" >>"$d/calls"

[ -e "$d/$kind.hang" ] && exec sleep 60
[ -e "$d/$kind.out" ] && { cat "$d/$kind.out"; exit 0; }

case $kind in
show)
    if [ -s "$d/rule" ]; then
        sed "s/@PORTS@/$(cat "$d/rule")/" "$d/netsh-rule.txt"
    else
        cat "$d/netsh-none.txt"
        exit 1
    fi
    ;;
psget) [ -s "$d/rule" ] && printf '\r\n\r\nDisplayName : RF4_Game_Ports\r\nEnabled     : True\r\n' ;;
psports) [ -s "$d/rule" ] && { tr ',' '\n' <"$d/rule"; echo; } | sed 's/$/\r/' ;;
delete | psremove) rm -f "$d/rule" ;;
add)
    ports=${text##*remoteport=}
    printf '%s' "${ports%% *}" >"$d/rule"
    ;;
psnew)
    ports=${text#*-RemotePort \"}
    printf '%s' "${ports%%\"*}" >"$d/rule"
    ;;
esac
exit 0
