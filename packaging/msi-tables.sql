-- What packaging/vantrel.wxs says and wixl 0.101 cannot write, applied with msibuild -q
-- after wixl, one statement a line.
-- The exe that fits the machine: the 64-bit build on 64-bit Windows.
UPDATE `Component` SET `Condition` = 'NOT VersionNT64' WHERE `Component` = 'Exe32'
UPDATE `Component` SET `Condition` = 'VersionNT64' WHERE `Component` = 'Exe64'
-- STARTWITHWINDOWS=0 on the command line: no shortcut in the Startup folder.
UPDATE `Component` SET `Condition` = 'STARTWITHWINDOWS="1"' WHERE `Component` = 'StartupShortcut'
-- wixl writes HKMU as root 4, which Windows Installer does not know; -1 is HKCU for a
-- per-user install and HKLM for a per-machine one.
UPDATE `Registry` SET `Root` = -1
-- A public property set on an administrator's command line reaches the elevated part of
-- a per-machine install only when it is listed here.
UPDATE `Property` SET `Value` = 'STARTWITHWINDOWS;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'
-- Uninstalling (also as part of an upgrade) must not leave a running Vantrel behind with
-- its files gone. On Windows the Restart Manager closes it at InstallValidate: it sends
-- WM_QUERYENDSESSION and WM_ENDSESSION, on which Vantrel ends cleanly. Where the Restart
-- Manager is switched off by policy or missing (Wine), taskkill without /F asks its
-- window to close first. Type 34 (an exe run in a folder) + 64 (its exit code is not
-- checked: taskkill fails when Vantrel is not running).
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CloseVantrel', 98, 'INSTALLFOLDER', 'taskkill.exe /IM vantrel.exe')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('CloseVantrel', 'REMOVE~="ALL"', 1350)
-- Program Files for a per-machine install, before CostFinalize fixes the folders. Here
-- and not in the source: wixl places an action "Before" another in a different order
-- from build to build, and the package's bytes (its string pool) with it.
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('MachineFolder', 'ALLUSERS=1', 990)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('MachineFolder', 'ALLUSERS=1', 990)
