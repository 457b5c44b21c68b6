[playlist]
File1=http://127.0.0.1:8000/live
Title1=x
File2=ftp://x/y
NumberOfEntries=2
Version=2
