#!/usr/bin/env python3
"""Writes a large HTML index page: about 100 bytes per link, every link distinct.
Usage: makepage.py PATH COUNT [PAD]   PAD adds that many bytes of plain text to every row."""
import sys

path, count = sys.argv[1], int(sys.argv[2])
pad = "x" * int(sys.argv[3]) if len(sys.argv) > 3 else ""
with open(path, "w") as page:
    page.write("<html><head><title>Index</title></head><body><table>\r\n")
    for i in range(count):
        ext = ".zip" if i % 2 == 0 else ".html"
        page.write(f'<tr><td><A HREF="files/d{i % 97}/file-{i:07d}{ext}">file {i}</a></td>'
                   f'<td>{i * 7 % 100000} bytes</td><td>ok{pad}</td></tr>\r\n')
    page.write("</table></body></html>\r\n")
