@echo off
rem Shows HELP.TXT of the rescue disk one screen at a time with whatever pager is there:
rem MORE from the disk or from the Windows folder, else EDIT from the disk, else plain TYPE.
if exist A:\MORE.COM goto morea
if exist C:\WINDOWS\COMMAND\MORE.COM goto morec
if exist A:\EDIT.COM goto edit
type A:\HELP.TXT
goto end
:morea
A:\MORE.COM < A:\HELP.TXT
goto end
:morec
C:\WINDOWS\COMMAND\MORE.COM < A:\HELP.TXT
goto end
:edit
A:\EDIT.COM A:\HELP.TXT
:end
