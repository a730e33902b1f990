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
-- A running Vantrel is closed before its files are replaced or removed, and the version
-- just installed is started once the installation is done.
-- Closing: CloseRunningCopies of close_running.dll from the Binary table (type 1; + 64,
-- the installation goes on whatever happens to it), the build that fits the machine: a
-- 32-bit package may run a 64-bit DLL on 64-bit Windows. It runs before InstallValidate
-- checks for files in use, and so before RemoveExistingProducts (1401), by which an
-- upgrade removes the old version inside this package's sequence; at every install,
-- upgrade, repair and uninstall.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CloseRunning32', 65, 'CloseRunning32', 'CloseRunningCopies')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CloseRunning64', 65, 'CloseRunning64', 'CloseRunningCopies')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('CloseRunning32', 'NOT VersionNT64', 1350)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('CloseRunning64', 'VersionNT64', 1351)
-- Starting: the installed exe by its full path (type 34), not waited for (+ 128 + 64),
-- after InstallFinalize; not when Vantrel is removed, and not by an install that runs as
-- LocalSystem (S-1-5-18: a deployment tool's), which has no user's session to show the
-- icon in. Its users get Vantrel from the Startup shortcut at their next sign-in.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('StartVantrel', 226, 'INSTALLFOLDER', '"[INSTALLFOLDER]vantrel.exe"')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('StartVantrel', 'NOT REMOVE~="ALL" AND UserSID<>"S-1-5-18"', 6700)
-- Program Files for a per-machine install, before CostFinalize fixes the folders. Here
-- and not in the source: wixl places an action "Before" another in a different order
-- from build to build, and the package's bytes (its string pool) with it.
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('MachineFolder', 'ALLUSERS=1', 990)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('MachineFolder', 'ALLUSERS=1', 990)
