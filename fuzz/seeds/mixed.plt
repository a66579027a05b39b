in;sp1;pa0,0;pd10 20 30 40;pu
;pA5:5;Pd,,,7,,8;zz;qq;P