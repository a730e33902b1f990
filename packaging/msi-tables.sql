-- What packaging/vantrel.wxs says and wixl 0.101 cannot write, applied with msibuild -q
-- after wixl, one statement a line.
-- The Startup shortcut: as STARTWITHWINDOWS says; without it, yes for a new install, and
-- for an upgrade (an older Vantrel in this scope) or a repair, yes only if the shortcut is
-- there. Transitive (64, beside 4, the registry key path, and 256, a 64-bit component):
-- a repair asks the condition again and removes the component when it has become false.
UPDATE `Component` SET `Condition` = 'STARTWITHWINDOWS="1" OR (NOT STARTWITHWINDOWS AND (STARTUPLINK OR NOT (Installed OR WIX_UPGRADE_DETECTED)))' WHERE `Component` = 'StartupShortcut'
UPDATE `Component` SET `Attributes` = 68 WHERE `Component` = 'StartupShortcut' AND `Attributes` = 4
UPDATE `Component` SET `Attributes` = 324 WHERE `Component` = 'StartupShortcut' AND `Attributes` = 260
-- STARTUPLINK: the Startup shortcut's path if it is there (wixl has no DirectorySearch).
CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)
INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('StartupLink', 'Vantrel.lnk')
INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('StartupLink', '[StartupFolder]', 0)
INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('STARTUPLINK', 'StartupLink')
-- The same version of the other platform's package replaces this one too (513: the
-- maximum version included), so an x86 and an x64 copy never share the folder. The
-- attributes are part of the row's key: the row is written again. scripts/release.py
-- fills in @VERSION@ and @UPGRADE_CODE@.
DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('@UPGRADE_CODE@', '@VERSION@', 513, 'WIX_UPGRADE_DETECTED')
-- wixl writes HKMU as root 4, which Windows Installer does not know; -1 is HKCU for a
-- per-user install and HKLM for a per-machine one.
UPDATE `Registry` SET `Root` = -1
-- A public property set on an administrator's command line reaches the elevated part of
-- a per-machine install only when it is listed here.
UPDATE `Property` SET `Value` = 'INSTALLFOLDER;MACHINECOPY;MACHINEFOLDER;STARTUPLINK;STARTWITHWINDOWS;USERCOPY;USERFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'
-- A running Vantrel is closed before its files are replaced or removed, and the version
-- just installed is started once the installation is done (custom actions of
-- src/installer/close_running.cpp).
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
-- What the conditions cannot read, before the launch conditions (in both sequences):
-- whether the install runs unelevated where its user sees a tray icon (VantrelDesktop),
-- and a per-machine copy that the package's own search missed, into MACHINECOPY: the x86
-- package may not search the 64-bit registry view (ICE80), and Wine 10's Windows Installer
-- skips the x64 package's search of the 32-bit view.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CheckContext32', 65, 'CloseRunning32', 'CheckInstallContext')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CheckContext64', 65, 'CloseRunning64', 'CheckInstallContext')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('CheckContext32', 'NOT VersionNT64', 75)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('CheckContext64', 'VersionNT64', 76)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('CheckContext32', 'NOT VersionNT64', 75)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('CheckContext64', 'VersionNT64', 76)
-- Installing for every user needs administrator rights, and the package asks for none
-- (a per-user install needs none): without them the install would fail partway and roll
-- back, so it stops here with the way out. An error action (type 19) in this sequence,
-- where Privileged is known, rather than a launch condition on it, as Microsoft's
-- packaging guidelines ask.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('NeedsAdministrator', 19, '', 'Installing Vantrel for every user (ALLUSERS=1) needs administrator rights, and this installer does not ask for them: run the command from a prompt opened with "Run as administrator".')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('NeedsAdministrator', 'ALLUSERS AND NOT Privileged AND NOT Installed', 110)
-- Starting: the installed exe by its full path (type 34), not waited for (+ 128 + 64),
-- after InstallFinalize; not when Vantrel is removed, and only where VantrelDesktop says
-- that its user sees it at their own integrity: never elevated (its links would open
-- elevated) and never in a service's session (LocalSystem or any other account), where
-- nobody would see it and it would keep the exe in use. Those users get Vantrel from the
-- Startup shortcut at their next sign-in.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('StartVantrel', 226, 'INSTALLFOLDER', '"[INSTALLFOLDER]vantrel.exe"')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('StartVantrel', 'NOT REMOVE~="ALL" AND VantrelDesktop', 6700)
-- An installation that fails (-3) or is cancelled (-2) after the close action closed a
-- copy starts that copy's exe again (type 50: the exe a property names, + 128 + 64), which
-- the rollback has put back; where it is gone, the start fails and nothing runs.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RestartAfterFailure', 242, 'VantrelClosed', '')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RestartAfterCancel', 242, 'VantrelClosed', '')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RestartAfterFailure', 'VantrelClosed AND VantrelDesktop', -3)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RestartAfterCancel', 'VantrelClosed AND VantrelDesktop', -2)
-- The folder the copy of this scope was installed to, unless INSTALLFOLDER is given: an
-- upgrade, a repair and the removal find the files where they are (property-setting
-- actions, type 51, before the per-user folder's).
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('KeepUserFolder', 51, 'INSTALLFOLDER', '[USERFOLDER]')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('KeepMachineFolder', 51, 'INSTALLFOLDER', '[MACHINEFOLDER]')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('KeepUserFolder', 'NOT ALLUSERS AND NOT INSTALLFOLDER AND USERFOLDER', 985)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('KeepMachineFolder', 'ALLUSERS AND NOT INSTALLFOLDER AND MACHINEFOLDER', 986)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('KeepUserFolder', 'NOT ALLUSERS AND NOT INSTALLFOLDER AND USERFOLDER', 985)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('KeepMachineFolder', 'ALLUSERS AND NOT INSTALLFOLDER AND MACHINEFOLDER', 986)
-- The per-user folder for a per-user install, unless INSTALLFOLDER was given, before
-- CostFinalize fixes the folders. Here
-- and not in the source: wixl places an action "Before" another in a different order
-- from build to build, and the package's bytes (its string pool) with it.
-- wixl marks the property-setting action "no impersonation" (2048), which ICE68 reports
-- for an action that is not deferred: a plain type 51.
UPDATE `CustomAction` SET `Type` = 51 WHERE `Action` = 'UserFolder'
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('UserFolder', 'NOT ALLUSERS AND NOT INSTALLFOLDER', 990)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('UserFolder', 'NOT ALLUSERS AND NOT INSTALLFOLDER', 990)
