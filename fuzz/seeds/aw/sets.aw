Urlaub=::C:\A::C:\C::
b=::
A=::/x::
=leer
ohne Gleich
